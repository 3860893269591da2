// Streaming log lines to the scale-out service (libZnScale.so, loaded from
// the home folder). The set-up runs once per process, so every case runs in
// a forked child of its own; the child's exit code says how its checks
// went, and the files tell the rest.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/log/LogTesting.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;

constexpr const char* kStreamFile = "znscale-stream.log";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool ServiceLoaded(const std::string& home) {
  void* handle = ::dlopen((home + "/libZnScale.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) ::dlclose(handle);
  return handle != nullptr;
}

class LogStreaming : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    m_home = zn::test::BuildFolder("lib");
  }
  // Runs `body` in a child with the streaming set-up as in a new process
  // and the home folder set; returns its exit code.
  int InChild(const std::function<int()>& body) {
    zn::test::ChildProcess child([&] {
      zn::testing::ResetLogStreaming();
      LogSettings::Set("Base", "dBASEHOME", m_home);
      return body();
    });
    return child.wait();
  }
  std::string Streamed() const { return zn::test::ReadFile(m_destination.file(kStreamFile)); }

  std::string m_home;
  zn::test::TempDir m_destination;
};

TEST_F(LogStreaming, WithoutADestinationOrComputeIdTheServiceIsNeverLoaded) {
  EXPECT_EQ(InChild([&] {
              if (EvDebug::flushZnScaleLogs(0)) return 1;  // nothing set up: false
              Open();
              EvDebug().Debug("Test", "a line with nowhere to stream to");
              if (ServiceLoaded(m_home)) return 2;
              return EvDebug::flushZnScaleLogs(0) ? 3 : 0;
            }),
            0);
  EXPECT_TRUE(HasLine(Content(), "a line with nowhere to stream to"));
}

TEST_F(LogStreaming, LinesReachTheServiceButNotFromInsideASuspendScope) {
  EXPECT_EQ(InChild([&] {
              Open();
              EvDebug log;
              log.streamLogsTo(m_destination.path().c_str());
              log.Debug("Test", "streamed [%d]", 1);
              {
                EvDebugZnScaleSuspendStreaming quiet;
                log.Debug("Test", "written but not streamed");
                {
                  EvDebugZnScaleSuspendStreaming nested;
                }
                log.Debug("Test", "still not streamed");
              }
              log.Debug("Test", "streamed [%d]", 2);
              return EvDebug::flushZnScaleLogs(0) ? 0 : 1;
            }),
            0);
  const std::string streamed = Streamed();
  EXPECT_TRUE(Has(streamed, "[zntest] ")) << streamed;
  EXPECT_TRUE(HasLine(streamed, "streamed [1]"));
  EXPECT_TRUE(HasLine(streamed, "streamed [2]"));
  EXPECT_FALSE(Has(streamed, "not streamed"));
  const std::string written = Content();
  for (const char* line : {"streamed [1]", "written but not streamed", "still not streamed", "streamed [2]"}) {
    EXPECT_TRUE(HasLine(written, line)) << line;
  }
}

TEST_F(LogStreaming, TheStoresDestinationStartsStreamingWithTheFirstLine) {
  LogSettings::Set(kEM, "sStreamLogsTo", m_destination.path());
  EXPECT_EQ(InChild([&] {
              Open();
              EvDebug().Debug("Test", "streamed without being asked");
              return ServiceLoaded(m_home) ? 0 : 1;
            }),
            0);
  EXPECT_TRUE(HasLine(Streamed(), "streamed without being asked"));
}

TEST_F(LogStreaming, AfterSuppressionNothingIsStreamedUntilForced) {
  LogSettings::Set(kEM, "sStreamLogsTo", m_destination.path());
  EXPECT_EQ(InChild([&] {
              EvDebug::suppressZnScaleStreaming();
              Open();
              EvDebug().Debug("Test", "suppressed line");
              if (ServiceLoaded(m_home)) return 1;
              EvDebug::forceZnScaleStreaming();
              EvDebug().Debug("Test", "forced line");
              EvDebug::suppressZnScaleStreaming();  // a running stream stops too
              EvDebug().Debug("Test", "suppressed again");
              return 0;
            }),
            0);
  const std::string streamed = Streamed();
  EXPECT_FALSE(Has(streamed, "suppressed line"));
  EXPECT_TRUE(HasLine(streamed, "forced line"));
  EXPECT_FALSE(Has(streamed, "suppressed again"));
  EXPECT_TRUE(HasLine(Content(), "suppressed again"));
}

TEST_F(LogStreaming, LinesOfManyThreadsAreStreamedOnceEach) {
  constexpr int kThreads = 4;
  constexpr int kLines = 250;
  EXPECT_EQ(InChild([&] {
              Open();
              EvDebug().streamLogsTo(m_destination.path().c_str());
              std::vector<std::thread> threads;
              for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([t] {
                  for (int i = 0; i < kLines; ++i) EvDebug().Debug("Test", "thread [%d] line [%d]", t, i);
                });
              }
              for (std::thread& thread : threads) thread.join();
              return 0;
            }),
            0);
  const std::string streamed = Streamed();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) {
      const std::string line = "thread [" + std::to_string(t) + "] line [" + std::to_string(i) + "]\n";
      ASSERT_NE(streamed.find(line), std::string::npos) << line;
      EXPECT_EQ(streamed.find(line), streamed.rfind(line)) << line;
    }
  }
}

TEST_F(LogStreaming, AMissingServiceOrOneWithoutItsLogFunctionStreamsNothing) {
  zn::test::TempDir emptyHome;
  m_home = emptyHome.path();
  EXPECT_EQ(InChild([&] {
              Open();
              EvDebug().setDebugLevel(2);
              EvDebug().streamLogsTo(m_destination.path().c_str());
              EvDebug().Debug("Test", "no service to stream to");
              return EvDebug::flushZnScaleLogs(0) ? 1 : 0;
            }),
            0);
  EXPECT_TRUE(HasLine(Content(), "no service to stream to"));
  EXPECT_TRUE(Has(Content(), "Cannot load library [" + emptyHome.path() + "/libZnScale.so]")) << Content();

  m_home = zn::test::BuildFolder("test-homes/scale-without-log");
  EXPECT_EQ(InChild([&] {
              Open();
              EvDebug().streamLogsTo(m_destination.path().c_str());
              EvDebug().Debug("Test", "a service that cannot take lines");
              // Its flush function is there and answers for itself.
              return EvDebug::flushZnScaleLogs(0) && !EvDebug::flushZnScaleLogs(1) ? 0 : 1;
            }),
            0);
  EXPECT_TRUE(HasLine(Content(), "a service that cannot take lines"));
  EXPECT_EQ(Streamed(), "");
}

}  // namespace
