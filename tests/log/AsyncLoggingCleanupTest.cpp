// The clean-up call of the asynchronous logging service: each outcome
// writes its own line, and a service that throws does not take the
// process down.

#include <gtest/gtest.h>

#include <string>

#include "log/LogTestUtil.h"

namespace {

using zn::LogSettings;

class AsyncLoggingCleanup : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    Open();
  }
  // Runs the clean-up with the service of test-homes/logging-<variant>.
  std::string CleanUpWith(const std::string& variant) {
    LogSettings::Set("Base", "dBASEHOME", zn::test::BuildFolder("test-homes/logging-" + variant));
    EvDebug::cleanupAsyncLoggingInProcess();
    return Content();
  }
};

TEST_F(AsyncLoggingCleanup, EachOutcomeWritesItsLine) {
  EXPECT_TRUE(HasLine(CleanUpWith("ok"), "EvDebug::cleanupThreadPool: Threadpool successfully cleaned"));
  EXPECT_TRUE(HasLine(CleanUpWith("failing"), "EvDebug::cleanupThreadPool: Faled to cleanyp thread pool"));
  EXPECT_TRUE(HasLine(CleanUpWith("throwing"), "EvDebug::cleanupThreadPool: Error is the pool is still busy"));
  EXPECT_TRUE(HasLine(CleanUpWith("missing"),
                      "EvDebug::cleanupThreadPool: Entrypoint function to load cleanupThreadPoolForProcess not found"));

  const std::string folder = zn::test::BuildFolder("test-homes/logging-none");
  const std::string text = CleanUpWith("none");
  EXPECT_NE(text.find(" EvDebug::cleanupThreadPool: Failed load library " + folder + "/libznloggingservice.so :"),
            std::string::npos)
      << text;

  LogSettings::Remove("Base", "dBASEHOME");
  EvDebug::cleanupAsyncLoggingInProcess();
  EXPECT_NE(Content().find("Failed load library libznloggingservice.so :The home directory is not configured"),
            std::string::npos)
      << Content();
}

}  // namespace
