// ZNProcessId: its text form, the creation time it carries (checked
// against the wall clock around a fork), parsing ids back, and telling a
// running process from one that ended or reused its pid.

#include "zn/util/ZNProcessId.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "file/FileTestUtil.h"

namespace {

using zn::test::files::Child;
using zn::test::files::DebugOutput;
using zn::test::files::Signal;

// Seconds since 1970 of a creation time in 100-ns intervals since 1601.
double UnixSeconds(unsigned long long fileTime) { return (fileTime - 116444736000000000ULL) / 1e7; }

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

TEST(ZNProcessIdTest, TheTextIsPidThenTheHalvesOfTheCreationTime) {
  const double before = Now();
  Signal started;
  Signal done;
  Child child([&] {
    started.send();
    return done.receive() != 0 ? 0 : 1;
  });
  ASSERT_EQ(started.receive(), '.');
  const double after = Now();

  ZNProcessId id(static_cast<unsigned long>(child.pid()));
  std::string text;
  ASSERT_EQ(id.getIdString(text), 0);
  unsigned long pid = 0, high = 0, low = 0;
  ASSERT_EQ(std::sscanf(text.c_str(), "%lu/%lu/%lu", &pid, &high, &low), 3) << text;
  EXPECT_EQ(pid, static_cast<unsigned long>(child.pid()));
  EXPECT_EQ(text, std::to_string(pid) + "/" + std::to_string(high) + "/" + std::to_string(low));
  const unsigned long long fileTime = static_cast<unsigned long long>(high) << 32 | low;
  EXPECT_EQ(id.getCreationTime(), fileTime);
  // The kernel counts start times in clock ticks after a boot time it
  // keeps in whole seconds: a second either way.
  EXPECT_GE(UnixSeconds(fileTime), before - 1.5);
  EXPECT_LE(UnixSeconds(fileTime), after + 1.5);
  EXPECT_TRUE(id.isRunning());

  // The same process named twice gives the same text; the text names it back.
  ZNProcessId again(static_cast<unsigned long>(child.pid()));
  std::string second;
  ASSERT_EQ(again.getIdString(second), 0);
  EXPECT_EQ(second, text);
  ZNProcessId parsed;
  ASSERT_EQ(parsed.setIdString(text.c_str()), 0);
  EXPECT_TRUE(parsed == id);
  EXPECT_TRUE(parsed.isRunning());
  char buffer[64];
  ASSERT_EQ(parsed.getIdString(buffer, sizeof buffer), 0);
  EXPECT_EQ(std::string(buffer), text);
  EXPECT_EQ(parsed.getIdString(buffer, text.size()), -1);  // no room for the end

  done.send();
  ASSERT_EQ(child.wait(), 0);
  EXPECT_FALSE(parsed.isRunning());
}

TEST(ZNProcessIdTest, ThisProcessIsRunningAndAReusedPidIsNot) {
  ZNProcessId self;
  EXPECT_FALSE(self.isInitialized());
  EXPECT_FALSE(self.isRunning());
  EXPECT_EQ(self.thisProcess(), 0);
  EXPECT_EQ(self.getPid(), static_cast<unsigned long>(::getpid()));
  EXPECT_TRUE(self.isRunning());
  std::string text;
  ASSERT_EQ(self.getIdString(text), 0);
  // Our pid with a creation time one tick off is another process.
  const unsigned long long time = self.getCreationTime();
  ZNProcessId other;
  const std::string otherText = std::to_string(::getpid()) + "/" + std::to_string((time + 1) >> 32) + "/" +
                                std::to_string(static_cast<uint32_t>(time + 1));
  ASSERT_EQ(other.setIdString(otherText.c_str()), 0);
  EXPECT_FALSE(other.isRunning());
  EXPECT_FALSE(other == self);
  EXPECT_TRUE(ZNProcessId(static_cast<unsigned long>(::getpid())) == self);
}

TEST(ZNProcessIdTest, AZombieDoesNotRun) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ASSERT_GT(pid, 0);
  // Not reaped yet: the kernel still lists it, as a zombie.
  ASSERT_TRUE(zn::test::files::WaitFor([&] {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | WNOHANG) == 0 && info.si_pid == pid;
  }));
  ZNProcessId zombie(static_cast<unsigned long>(pid));
  EXPECT_FALSE(zombie.isRunning());
  ::waitpid(pid, nullptr, 0);
}

TEST(ZNProcessIdTest, BadTextsAndMissingProcessesAreReported) {
  DebugOutput output;
  ZNProcessId id;
  std::string text;
  EXPECT_EQ(id.getIdString(text), -1);
  EXPECT_TRUE(output.has("NoPrefix: getIdString: not initialized\n"));
  for (const char* bad : {"", "12", "12/34", "12/34/", "a/b/c", "12 34 56", "-1/2/3", "1/-2/3", "4294967296/1/1",
                          "1/4294967296/1", "1//2/3"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(id.setIdString(bad), -1);
    EXPECT_TRUE(output.has(std::string("setIdString: invalid id string ") + bad + "\n"));
  }
  EXPECT_EQ(id.setIdString(nullptr), -1);
  EXPECT_FALSE(id.isInitialized());
  // Blanks before a number and text after the third, as scanf reads them.
  ASSERT_EQ(id.setIdString(" 4294967295/ 0/7 and more"), 0);
  EXPECT_EQ(id.getPid(), 4294967295UL);
  ASSERT_EQ(id.getIdString(text), 0);
  EXPECT_EQ(text, "4294967295/0/7");

  // A pid no process holds: "invalid parameter", as the Windows original says.
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  ZNProcessId ended(static_cast<unsigned long>(gone));
  EXPECT_FALSE(ended.isRunning());
  EXPECT_TRUE(output.has("isRunning: OpenProcess pid " + std::to_string(gone) + " failed, code 87\n"));
  EXPECT_EQ(ended.getIdString(text), -1);
  EXPECT_TRUE(output.has("getIdString: GetProcessTimes pid " + std::to_string(gone) + " failed with code 87\n"));
}

}  // namespace
