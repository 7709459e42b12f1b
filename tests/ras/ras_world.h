// A fresh world directory per test for the stand-in's conformance tests,
// and a notifier that records what the remote access service reports.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dial/ras_api.h"

class RasWorldTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file of the world and has the stand-in read the world afresh.
  void WriteWorldFile(const std::string& name, const std::string& text);
  std::string ReadWorldFile(const std::string& name) const;
  std::vector<std::string> Journal() const;
  bool Journaled(const std::string& line) const;

  std::string world_dir;
};

// One report of the service to the notifier.
struct Report {
  RASCONNSTATE state;
  DWORD error;
  std::thread::id thread;
  bool esc_waiting;  // an Esc key-down was in the console input at that moment
};

// Collects the reports of RasDialA's notifier (RecordingNotifier).
class Reports {
 public:
  static Reports& Get();
  void Clear();
  void Add(const Report& r);
  std::vector<Report> Snapshot();
  // Waits (at most a generous guard time) until a final report arrives:
  // RASCS_Connected or an error. Returns the reports so far.
  std::vector<Report> WaitForEnd();
  // Waits until at least `count` reports have arrived.
  std::vector<Report> WaitForCount(size_t count);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Report> reports_;
};

void WINAPI RecordingNotifier(UINT message, RASCONNSTATE state, DWORD error);

// A RASDIALPARAMSA for dialling a number (no phone-book entry).
RASDIALPARAMSA NumberParams(const std::string& number, const std::string& user);
// A RASDIALPARAMSA naming a phone-book entry.
RASDIALPARAMSA EntryParams(const std::string& entry);
