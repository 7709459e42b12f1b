// services.ini: the services a world lists, their states and starts, and the
// state the stand-in writes back. The calls themselves are checked in
// conformance/services_test.cpp.
#include "tests/winapi/world_fixture.h"

namespace {

class ServicesTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    EXPECT_TRUE(CloseServiceHandle(manager_));
    WorldTest::TearDown();
  }
  SC_HANDLE Service(const char* name, DWORD access = SERVICE_QUERY_STATUS | SERVICE_START) {
    return OpenServiceA(manager_, name, access);
  }
  DWORD State(SC_HANDLE s, DWORD* wait_hint = nullptr) {
    SERVICE_STATUS status{};
    EXPECT_TRUE(QueryServiceStatus(s, &status));
    if (wait_hint) *wait_hint = status.dwWaitHint;
    return status.dwCurrentState;
  }
  SC_HANDLE manager_ = nullptr;
};

TEST_F(ServicesTest, AWorldListsItsServices) {
  SetLastError(0);
  EXPECT_EQ(Service("RASMAN"), nullptr);  // a world without services.ini has none
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  Write("services.ini", "[TapiSrv]\nstate=running\n");
  EXPECT_EQ(Service("RASMAN"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  SC_HANDLE s = Service("TAPISRV");  // names compare without regard to case
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(State(s), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(CloseServiceHandle(s));
}

TEST_F(ServicesTest, StartGoesPendingThenRunningAndPersists) {
  Write("services.ini", "[RasMan]\nstate=stopped\nstart=ok\nwait_hint=250\n");
  SC_HANDLE s = Service("RASMAN");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(State(s), static_cast<DWORD>(SERVICE_STOPPED));
  ASSERT_TRUE(StartServiceA(s, 0, nullptr));
  DWORD hint = 0;
  EXPECT_EQ(State(s, &hint), static_cast<DWORD>(SERVICE_START_PENDING));
  EXPECT_EQ(hint, 250u);
  EXPECT_EQ(State(s), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(StartServiceA(s, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  CloseServiceHandle(s);
  EXPECT_NE(Read("services.ini").find("state=running"), std::string::npos);
  EXPECT_NE(Read("journal.log").find("service start RASMAN\n"), std::string::npos);
}

TEST_F(ServicesTest, FailingDisabledAndDyingServices) {
  Write("services.ini",
        "[a]\nstate=stopped\nstart=fail\nerror=1053\n"
        "[b]\nstate=disabled\n"
        "[c]\nstate=stopped\nstart=stops\n");
  SC_HANDLE a = Service("a");
  EXPECT_FALSE(StartServiceA(a, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
  EXPECT_EQ(State(a), static_cast<DWORD>(SERVICE_STOPPED));
  SC_HANDLE b = Service("b");
  EXPECT_FALSE(StartServiceA(b, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
  SC_HANDLE c = Service("c");
  EXPECT_TRUE(StartServiceA(c, 0, nullptr));
  DWORD hint = 99;
  EXPECT_EQ(State(c, &hint), static_cast<DWORD>(SERVICE_START_PENDING));
  EXPECT_EQ(hint, 0u);
  EXPECT_EQ(State(c, &hint), static_cast<DWORD>(SERVICE_STOPPED));
  for (SC_HANDLE s : {a, b, c}) CloseServiceHandle(s);
}

}  // namespace
