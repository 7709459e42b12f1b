// Arbitrary bytes as the entry file: both readers, and a load-change-save
// cycle through the changing operations. Whatever the input, nothing may
// crash, and every file the operations write must read back the same way
// through both readers.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "entries/entry_file.h"
#include "entries/line_scrambler.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::filesystem::path g_root;

void RemoveRoot() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

// A private world and plug-in directory for the whole run, removed at exit.
void SetUpOnce() {
  if (!g_root.empty()) return;
  g_root = std::filesystem::temp_directory_path() / ("vez_entry_fuzz_" + std::to_string(::getpid()));
  const std::filesystem::path& root = g_root;
  std::atexit(RemoveRoot);
  std::filesystem::create_directories(root / "world");
  std::filesystem::create_directories(root / "plugin");
  setenv("WINAPI_WORLD", (root / "world").c_str(), 1);
  StandinReloadWorld();
  static HostStartupInfo info{};
  const std::string module = world::WindowsPath((root / "plugin" / "vezuzaziz.dll").string());
  module.copy(info.ModulePath, sizeof info.ModulePath - 1);
  SetHostRecord(&info);
  SetModulePathFromField(info.ModulePath);
}

// The names ListEntryNames would give for these plain lines.
std::string NamesOf(const std::vector<std::string>& plain) {
  std::string names;
  for (const std::string& line : plain) {
    if (line.empty() || line[0] != '[') continue;
    if (line.size() > 2) names.append(line, 1, line.size() - 2);
    names.push_back(',');
  }
  if (!names.empty()) names.pop_back();
  return names;
}

// A file the plug-in wrote: both readers see the lines that were saved.
void CheckWritten(const std::vector<std::string>& saved) {
  const std::vector<std::string> loaded = LoadPlainLines();
  Check(loaded.size() == saved.size());
  for (size_t i = 0; i < saved.size(); ++i) Check(loaded[i] == saved[i].substr(0, kMaxLineBytes));
  Check(ListEntryNames() == NamesOf(loaded));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  const std::string text(reinterpret_cast<const char*>(data), size);

  // In memory: a saved file reads back as the lines that were saved.
  const std::vector<std::string> plain = PlainLinesFromFileText(text);
  for (const std::string& line : plain) Check(line.size() <= kMaxLineBytes);
  Check(PlainLinesFromFileText(FileTextFromPlainLines(plain)) == plain);

  // Through the file.
  const std::string path = EntryFilePath();
  ReplaceFileContents(path, text);
  const std::string names = ListEntryNames();
  const std::string first = names.substr(0, names.find(','));
  ReadDialEntry(first);
  ReadDialEntry(text.substr(0, 16));

  DialEntry e{"fz" + first, text.substr(0, 8), "p=w", "", "1,2", "$1F", "x", std::string(300, 'c')};
  AppendDialEntry(e);
  std::vector<std::string> saved = LoadPlainLines();
  CheckWritten(saved);
  // The new block is found unless its header line was too long to keep "]".
  Check(ReadDialEntry(e.Name) == (e.Name.size() <= kMaxLineBytes - 2));

  e.Name = first;
  ReplaceDialEntry(e);
  CheckWritten(LoadPlainLines());
  DeleteDialEntry(first);
  CheckWritten(LoadPlainLines());
  Check(!HasExactEntry(first));
  return 0;
}
