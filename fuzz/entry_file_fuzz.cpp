// Arbitrary bytes as the entry file. Every input goes through the
// whole-file reader and the framing in memory; then, for three inputs in
// eight, one operation runs on the file through the stand-in: reading and
// listing, or one of the changing operations followed by reading its result
// back. The first byte chooses what is done on the file; whether the file is
// used at all is chosen by a hash of the whole input, so that the mutations
// of an input take turns at random: chosen by a byte, nearly every run would
// be on the file, where most of the coverage is, at several times the cost.
// Whatever the input, nothing may crash, and every file the operations
// write must read back the same way through both readers.
//
// The stand-in of this build skips its flushes (WINAPI_SKIP_FLUSHES), so
// that the file operations cost what the code does, not what the disk does.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "entries/entry_file.h"
#include "entries/line_scrambler.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "tests/test_only.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::filesystem::path g_root;
std::string g_entry_file;  // the entry file's host path

void RemoveRoot() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

// A private world and plug-in directory for the whole run, removed at exit.
void SetUpOnce() {
  if (!g_root.empty()) return;
  // In memory where the machine has a memory file system: thousands of
  // saves a second are no test of the disk.
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  g_root = base / ("vez_entry_fuzz_" + std::to_string(::getpid()));
  const std::filesystem::path& root = g_root;
  std::atexit(RemoveRoot);
  std::filesystem::create_directories(root / "world");
  std::filesystem::create_directories(root / "plugin");
  g_entry_file = (root / "plugin" / "vezuzaziz.ini").string();
  setenv("WINAPI_WORLD", (root / "world").c_str(), 1);
  StandinReloadWorld();
  static HostStartupInfo info{};
  const std::string module = world::WindowsPath((root / "plugin" / "vezuzaziz.dll").string());
  module.copy(info.ModulePath, sizeof info.ModulePath - 1);
  SetHostRecord(&info);
  SetModulePathFromField(info.ModulePath);
}

// The input as the entry file, written directly: the plug-in's own save is
// what the changing operations exercise.
void PutFile(const std::string& bytes) {
  const int fd = ::open(g_entry_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Check(fd >= 0);
  Check(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
  ::close(fd);
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

// A file the plug-in wrote: both readers see the same lines.
void CheckWritten() {
  const std::vector<std::string> loaded = PlainLinesFromFileText(ReadWholeFile(EntryFilePath()));
  for (const std::string& line : loaded) Check(line.size() <= kMaxLineBytes);
  Check(ListEntryNames() == NamesOf(loaded));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  const std::string text(reinterpret_cast<const char*>(data), size);

  // In memory: a saved file reads back as the lines that were saved.
  const std::vector<std::string> plain = PlainLinesFromFileText(text);
  for (const std::string& line : plain) Check(line.size() <= kMaxLineBytes);
  const std::string saved = FileTextFromPlainLines(plain);
  Check(PlainLinesFromFileText(saved) == plain);

  // Through the file: the input as it stands, or as the plug-in would have
  // written its lines, so that both kinds of file meet every operation.
  const uint8_t choice = size > 0 ? data[0] : 0;
  if (std::hash<std::string>{}(text) % 8 >= 3) return 0;
  PutFile(choice & 0x80 ? saved : text);
  // The name the changes aim at: the first one the whole-file reader sees.
  const std::string names = NamesOf(plain);
  const std::string first = names.substr(0, names.find(','));
  DialEntry e{"fz" + first, text.substr(0, 8), "p=w", "", "1,2", "$1F", "x", std::string(300, 'c')};
  switch (choice % 5) {
    case 0: {
      const std::string listed = ListEntryNames();
      ReadDialEntry(listed.substr(0, listed.find(',')));
      ReadDialEntry(text.substr(0, 16));
      break;
    }
    case 1:
      AppendDialEntry(e);
      CheckWritten();
      // The new block is found unless its header line was too long to keep "]".
      Check(ReadDialEntry(e.Name) == (e.Name.size() <= kMaxLineBytes - 2));
      break;
    case 2:
      e.Name = first;
      ReplaceDialEntry(e);
      CheckWritten();
      break;
    case 3:
      // A rename that matched nothing leaves the input's own bytes, which
      // the two readers may split differently (a bare LF inside a line).
      if (RenameDialEntry(first, e) > 0) CheckWritten();
      break;
    default:
      DeleteDialEntry(first);
      CheckWritten();
      Check(!HasExactEntry(first));
      break;
  }
  return 0;
}
