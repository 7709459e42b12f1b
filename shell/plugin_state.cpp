// Module path and version record, module-wide.
#include "shell/plugin_state.h"

#include <cstring>

namespace {

std::string g_module_path;
OSVERSIONINFOA g_version{};

}  // namespace

static_assert(sizeof(OSVERSIONINFOA) == 148);

void SetModulePathFromField(const char* field) {
  if (field == nullptr) {
    g_module_path.clear();
    return;
  }
  // The field is 260 bytes; the path ends at its first zero, or at the end
  // of the field when the host filled it completely.
  const void* zero = std::memchr(field, 0, 260);
  const size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : 260;
  g_module_path.assign(field, n);
}

const std::string& ModulePath() { return g_module_path; }

OSVERSIONINFOA& VersionRecord() { return g_version; }

DWORD PlatformId() { return g_version.dwPlatformId; }
