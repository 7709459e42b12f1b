// Module path and version record, module-wide.
#include "shell/plugin_state.h"

#include <cstring>

#include "shell/host_interface.h"

namespace {

std::string g_module_path;
OSVERSIONINFOA g_version{};

}  // namespace

static_assert(sizeof(OSVERSIONINFOA) == 148);

// The module path field of the host's record.
constexpr size_t kModulePathField = sizeof(HostStartupInfo::ModulePath);

void SetModulePathFromField(const char* field) {
  if (field == nullptr) {
    g_module_path.clear();
    return;
  }
  // The path ends at the field's first zero, or at the end of the field
  // when the host filled it completely.
  const void* zero = std::memchr(field, 0, kModulePathField);
  const size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : kModulePathField;
  g_module_path.assign(field, n);
}

const std::string& ModulePath() { return g_module_path; }

OSVERSIONINFOA& VersionRecord() { return g_version; }

DWORD PlatformId() { return g_version.dwPlatformId; }
