// The Service Control Manager: opening the manager and a service, the
// status, a start of a running service and the access rights of a handle.
#include "tests/winapi/conformance/conformance.h"

namespace conformance {
namespace {

class ServiceCalls : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager_, nullptr) << GetLastError();
  }
  void TearDown() override {
    EXPECT_TRUE(CloseServiceHandle(manager_));
    Scratch::TearDown();
  }
  SC_HANDLE manager_ = nullptr;
};

TEST_F(ServiceCalls, TheManagerOfTheActiveDatabaseOnly) {
  for (const char* active : {"ServicesActive", ""}) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, active, SC_MANAGER_CONNECT);
    EXPECT_NE(manager, nullptr) << active;
    if (manager) CloseServiceHandle(manager);
  }
  SetLastError(kUnset);
  EXPECT_EQ(OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), kErrorDatabaseDoesNotExist);
  SetLastError(kUnset);
  EXPECT_EQ(OpenSCManagerA(nullptr, "DoesNotExist", SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  SetLastError(kUnset);
  EXPECT_EQ(OpenSCManagerA(nullptr, "servicesactive", SC_MANAGER_CONNECT), nullptr);  // the case counts
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(ServiceCalls, OpeningAService) {
  SetLastError(kUnset);
  EXPECT_EQ(OpenServiceA(manager_, "VezNoSuchService", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  SetLastError(kUnset);
  EXPECT_EQ(OpenServiceA(manager_, nullptr, SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidAddress);
  SetLastError(kUnset);
  EXPECT_EQ(OpenServiceA(nullptr, kRunningService, SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // Names compare without regard to case. A running service is reported as
  // running, and cannot be started again.
  std::string lower = kRunningService;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  SC_HANDLE service = OpenServiceA(manager_, lower.c_str(), SERVICE_QUERY_STATUS | SERVICE_START);
  ASSERT_NE(service, nullptr) << GetLastError();
  SERVICE_STATUS status;
  Mark(status);
  ASSERT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  SetLastError(kUnset);
  EXPECT_FALSE(StartServiceA(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_TRUE(CloseServiceHandle(service));
  SetLastError(kUnset);
  EXPECT_FALSE(CloseServiceHandle(service));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ServiceCalls, AccessRightsAreChecked) {
  SC_HANDLE query_only = OpenServiceA(manager_, kRunningService, SERVICE_QUERY_STATUS);
  ASSERT_NE(query_only, nullptr);
  SetLastError(kUnset);
  EXPECT_FALSE(StartServiceA(query_only, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SC_HANDLE start_only = OpenServiceA(manager_, kRunningService, SERVICE_START);
  ASSERT_NE(start_only, nullptr);
  SERVICE_STATUS status;
  SetLastError(kUnset);
  EXPECT_FALSE(QueryServiceStatus(start_only, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(kUnset);
  EXPECT_FALSE(QueryServiceStatus(nullptr, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseServiceHandle(query_only);
  CloseServiceHandle(start_only);
}

}  // namespace
}  // namespace conformance
