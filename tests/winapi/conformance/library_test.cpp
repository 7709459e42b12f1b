// The calls behind the run-time lookup of the remote access functions:
// LoadLibraryA, GetProcAddress and FreeLibrary.
#include "tests/winapi/conformance/conformance.h"

namespace conformance {
namespace {

using LibraryCalls = Scratch;

TEST_F(LibraryCalls, RasapiOffersItsFunctionsByExactName) {
  HMODULE ras = LoadLibraryA("rasapi32.dll");
  ASSERT_NE(ras, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(ras, "RasDeleteEntryA"), nullptr);
  EXPECT_NE(GetProcAddress(ras, "RasEnumConnectionsA"), nullptr);
  SetLastError(kUnset);
  EXPECT_EQ(GetProcAddress(ras, "rasdeleteentrya"), nullptr);  // export names keep their case
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  SetLastError(kUnset);
  EXPECT_EQ(GetProcAddress(ras, "RasDeleteEntry"), nullptr);  // only rnaph.dll's is plain
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(ras));
}

TEST_F(LibraryCalls, AModuleThatIsNotThereIsNotFound) {
  // rnaph.dll belongs to the Windows 95 family only.
  for (const char* missing : {"rnaph.dll", "vez_no_such_library.dll"}) {
    SetLastError(kUnset);
    EXPECT_EQ(LoadLibraryA(missing), nullptr) << missing;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << missing;
  }
}

}  // namespace
}  // namespace conformance
