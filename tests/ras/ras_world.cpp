#include "tests/ras/ras_world.h"

#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "winapi/ras_sim.h"
#include "winapi/standin_console.h"
#include "winapi/standin_control.h"

namespace {

// Only a guard against a hanging test, never a measure of speed.
constexpr auto kGuard = std::chrono::seconds(20);

bool EscWaiting() {
  INPUT_RECORD records[16];
  DWORD read = 0;
  if (!PeekConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), records, 16, &read)) return false;
  for (DWORD i = 0; i < read; ++i) {
    if (records[i].EventType == KEY_EVENT && records[i].Event.KeyEvent.bKeyDown &&
        records[i].Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE) {
      return true;
    }
  }
  return false;
}

}  // namespace

void RasWorldTest::SetUp() {
  char tmpl[] = "/tmp/vez_ras_XXXXXX";
  const char* made = mkdtemp(tmpl);
  ASSERT_NE(made, nullptr);
  world_dir = made;
  setenv("WINAPI_WORLD", world_dir.c_str(), 1);
  StandinReloadWorld();
  StandinClearConsoleInput();
  Reports::Get().Clear();
}

void RasWorldTest::TearDown() {
  RasSimStopAll();
  StandinClearConsoleInput();
  std::error_code ec;
  std::filesystem::remove_all(world_dir, ec);
}

void RasWorldTest::WriteWorldFile(const std::string& name, const std::string& text) {
  std::ofstream(world_dir + "/" + name, std::ios::binary) << text;
  StandinReloadWorld();
}

std::string RasWorldTest::ReadWorldFile(const std::string& name) const {
  std::ifstream in(world_dir + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> RasWorldTest::Journal() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadWorldFile("journal.log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool RasWorldTest::Journaled(const std::string& line) const {
  for (const std::string& l : Journal()) {
    if (l == line) return true;
  }
  return false;
}

Reports& Reports::Get() {
  static Reports reports;
  return reports;
}

void Reports::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  reports_.clear();
}

void Reports::Add(const Report& r) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(r);
  }
  changed_.notify_all();
}

std::vector<Report> Reports::Snapshot() {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::vector<Report> Reports::WaitForEnd() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, kGuard, [this] {
    for (const Report& r : reports_) {
      if (r.error != 0 || r.state == RASCS_Connected) return true;
    }
    return false;
  });
  return reports_;
}

std::vector<Report> Reports::WaitForCount(size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, kGuard, [&] { return reports_.size() >= count; });
  return reports_;
}

void WINAPI RecordingNotifier(UINT message, RASCONNSTATE state, DWORD error) {
  (void)message;
  Reports::Get().Add({state, error, std::this_thread::get_id(), EscWaiting()});
}

RASDIALPARAMSA NumberParams(const std::string& number, const std::string& user) {
  RASDIALPARAMSA p;
  std::memset(&p, 0, sizeof p);
  p.dwSize = sizeof p;
  std::strncpy(p.szPhoneNumber, number.c_str(), sizeof p.szPhoneNumber - 1);
  std::strncpy(p.szUserName, user.c_str(), sizeof p.szUserName - 1);
  return p;
}

RASDIALPARAMSA EntryParams(const std::string& entry) {
  RASDIALPARAMSA p;
  std::memset(&p, 0, sizeof p);
  p.dwSize = sizeof p;
  std::strncpy(p.szEntryName, entry.c_str(), sizeof p.szEntryName - 1);
  return p;
}
