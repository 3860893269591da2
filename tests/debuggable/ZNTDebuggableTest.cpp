// The older prefixed debug output: when the shared file opens and closes,
// what a line looks like in the file, on standard output and on a terminal,
// how the file is opened in a folder anyone can write to, and objects made,
// used and dropped on several threads at once.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zn/debuggable/ZNTDebuggable.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void Touch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0) << path;
  ::close(fd);
}

// Reads `fd` until it closes or 10 s pass.
std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 10000) <= 0) break;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// Runs `body` in a child whose standard output is `output`; returns the
// child's exit code.
int InChild(int output, const std::function<void()>& body) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(output, STDOUT_FILENO);
    body();
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ZNTDebuggableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ZNTDebuggable::usageCount, 0);
    ASSERT_EQ(ZNTDebuggable::debugLog, nullptr);
    const char* old = std::getenv("ZN_DEBUGGABLE_DIR");
    m_oldDir = old != nullptr ? old : "";
    ::setenv("ZN_DEBUGGABLE_DIR", m_dir.path().c_str(), 1);
    ZNTDebuggable::logEvents(1);
    ZNTDebuggable::debugMask = 0;
  }
  void TearDown() override {
    ::setenv("ZN_DEBUGGABLE_DIR", m_oldDir.c_str(), 1);
    ZNTDebuggable::logEvents(1);
    ZNTDebuggable::debugMask = 0;
  }
  std::string shared() const { return m_dir.file("log.out"); }
  std::string hello() const { return "\nHello from pid " + std::to_string(::getpid()) + "\n"; }

  TempDir m_dir;
  std::string m_oldDir;
};

TEST_F(ZNTDebuggableTest, WithoutTheMarkerNoFileIsOpened) {
  EXPECT_EQ(ZNTDebuggable::getLogEventsFlag(), 1);
  ZNTDebuggable::debugMask = ~0ul;
  {
    ZNTDebuggable object;
    EXPECT_EQ(ZNTDebuggable::usageCount, 1);
    EXPECT_EQ(ZNTDebuggable::debugLog, nullptr);
    object.debug(1, "nowhere");
  }
  EXPECT_FALSE(Exists(shared()));
  EXPECT_EQ(ZNTDebuggable::usageCount, 0);
}

TEST_F(ZNTDebuggableTest, TheMarkerOrTheSwitchOpensTheSharedFile) {
  Touch(m_dir.file("CXIndexLogging"));
  {
    ZNTDebuggable object;
    ASSERT_NE(ZNTDebuggable::debugLog, nullptr);
    EXPECT_EQ(ZNTDebuggable::debugPid, static_cast<long>(::getpid()));
  }
  EXPECT_EQ(ZNTDebuggable::debugLog, nullptr);
  ::unlink(m_dir.file("CXIndexLogging").c_str());
  ZNTDebuggable::logEvents(0);
  EXPECT_EQ(ZNTDebuggable::getLogEventsFlag(), 0);
  {
    ZNTDebuggable object;
    EXPECT_NE(ZNTDebuggable::debugLog, nullptr);
  }
  // Each first object appends its greeting.
  EXPECT_EQ(ReadFile(shared()), hello() + hello());
  struct stat info {};
  ASSERT_EQ(::stat(shared().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ZNTDebuggableTest, MaskPrefixAndLineEnds) {
  ZNTDebuggable::logEvents(0);
  ZNTDebuggable object;
  ZNTDebuggable::debugMask = 0xA;  // bits 2 and 8
  EXPECT_TRUE(ZNTDebuggable::isDebugOn(2));
  EXPECT_TRUE(ZNTDebuggable::isDebugOn(3));
  EXPECT_FALSE(ZNTDebuggable::isDebugOn(1));
  EXPECT_FALSE(ZNTDebuggable::isDebugOn(4));
  EXPECT_STREQ(object.getDebugPrefix(), "NoPrefix");
  object.debug(2, "two %d", 2);
  object.debug(1, "filtered");
  object.debug(4, "filtered");
  object.debug(3, "three");
  object.setDebugPrefix("PFX");
  object.debug(8, "kept as it is\n");
  object.debug(8, "a\nb");  // has a line feed: nothing added
  object.debug(8, "%s", "after");
  const std::string expected = hello() + "NoPrefix: two 2\nNoPrefix: three\nPFX: kept as it is\nPFX: a\nbPFX: after\n";
  EXPECT_EQ(ReadFile(shared()), expected);

  // A line is bounded by its buffer: 3,077 characters and the line feed.
  object.debug(2, "%s", std::string(5000, 'x').c_str());
  const std::string text = ReadFile(shared()).substr(expected.size());
  EXPECT_EQ(text, "PFX: " + std::string(3077 - 5, 'x') + "\n");
  // "%n" is never executed.
  int untouched = 7;
  object.debug(2, "n%n", &untouched);
  EXPECT_EQ(untouched, 7);
}

TEST_F(ZNTDebuggableTest, CopiesCountAndTheLastObjectClosesTheFile) {
  ZNTDebuggable::logEvents(0);
  ZNTDebuggable::debugMask = 1;
  auto first = std::make_unique<ZNTDebuggable>();
  first->setDebugPrefix("FIRST");
  first->useStdout(0);
  {
    ZNTDebuggable copy(*first);
    EXPECT_EQ(ZNTDebuggable::usageCount, 2);
    EXPECT_STREQ(copy.getDebugPrefix(), "FIRST");
    ZNTDebuggable assigned;
    EXPECT_EQ(ZNTDebuggable::usageCount, 3);
    assigned = copy;
    EXPECT_EQ(ZNTDebuggable::usageCount, 3);
    EXPECT_STREQ(assigned.getDebugPrefix(), "FIRST");
    assigned.debug(1, "from the copy");
  }
  EXPECT_EQ(ZNTDebuggable::usageCount, 1);
  ASSERT_NE(ZNTDebuggable::debugLog, nullptr);
  first->debug(1, "still open");
  first.reset();
  EXPECT_EQ(ZNTDebuggable::usageCount, 0);
  EXPECT_EQ(ZNTDebuggable::debugLog, nullptr);
  EXPECT_EQ(ReadFile(shared()), hello() + "FIRST: from the copy\nFIRST: still open\n");
}

// The folder is writable by everyone: a link planted there is not followed.
TEST_F(ZNTDebuggableTest, APlantedLinkIsNotFollowed) {
  TempDir elsewhere;
  const std::string target = elsewhere.file("victim");
  Touch(target);
  ASSERT_EQ(::symlink(target.c_str(), shared().c_str()), 0);
  ZNTDebuggable::logEvents(0);
  ZNTDebuggable::debugMask = 1;
  {
    ZNTDebuggable object;
    object.debug(1, "line");
  }
  EXPECT_EQ(ReadFile(target), "");
  EXPECT_EQ(ReadFile(m_dir.file("log" + std::to_string(::getpid()) + ".out")), hello() + "NoPrefix: line\n");
}

TEST_F(ZNTDebuggableTest, AFileThatCannotBeOpenedIsReportedOnTheConsole) {
  const std::string missing = m_dir.file("missing");
  ::setenv("ZN_DEBUGGABLE_DIR", missing.c_str(), 1);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  pid_t child = 0;
  const int code = InChild(out[1], [&] {
    ZNTDebuggable::logEvents(0);
    ZNTDebuggable object;
    std::printf("pid %d\n", static_cast<int>(::getpid()));
  });
  ::close(out[1]);
  const std::string printed = ReadAll(out[0]);
  ::close(out[0]);
  EXPECT_EQ(code, 0);
  const std::size_t at = printed.find("pid ");
  ASSERT_NE(at, std::string::npos) << printed;
  child = std::atoi(printed.c_str() + at + 4);
  EXPECT_EQ(printed.substr(0, at),
            "Cannot open " + missing + "/log" + std::to_string(child) + ".out file, errno 2\n");
}

TEST_F(ZNTDebuggableTest, StandardOutputGetsTheLevelWhenAskedFor) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  InChild(out[1], [] {
    ZNTDebuggable::debugMask = 1;
    ZNTDebuggable object;
    object.setDebugPrefix("P");
    object.debug(1, "not a terminal: nothing\n");
    object.useStdout(5);
    object.debug(1, "hello %s\n", "there");
    object.debug(1, "no line end");
  });
  ::close(out[1]);
  EXPECT_EQ(ReadAll(out[0]), "P(1): hello there\nP(1): no line end");
  ::close(out[0]);
}

TEST_F(ZNTDebuggableTest, ATerminalShowsOneLinePerCall) {
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal here";
  InChild(slave, [] {
    ZNTDebuggable::debugMask = 1;
    ZNTDebuggable object;
    object.debug(1, "first");
    object.debug(1, "two\nlines\n");  // cut at its last line feed
    object.debug(1, "kept\nbut cut here\nrest");
  });
  ::close(slave);
  std::string shown = ReadAll(master);
  ::close(master);
  std::erase(shown, '\r');
  EXPECT_EQ(shown, "NoPrefix: first\nNoPrefix: two\nlines\nNoPrefix: kept\nbut cut here\n");
}

TEST_F(ZNTDebuggableTest, DateTexts) {
  ZNTDebuggable object;
  EXPECT_STREQ(object.dateToString(0), "now");
  const char* old = std::getenv("TZ");
  const std::string oldZone = old != nullptr ? old : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  // 1970-01-02 00:00:00 UTC was a Friday.
  EXPECT_STREQ(object.dateToString(86400), "Fri Jan  2 00:00:00 1970");
  // 2001-09-09 01:46:40 UTC, a Sunday: 1,000,000,000 s.
  EXPECT_STREQ(object.dateToString(1000000000ul), "Sun Sep  9 01:46:40 2001");
  // A year beyond what the calendar functions can hold.
  EXPECT_STREQ(object.dateToString(1ul << 62), "error");
  if (old != nullptr) {
    ::setenv("TZ", oldZone.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST_F(ZNTDebuggableTest, MembersWithoutEffect) {
  ZNTDebuggable object;
  object.appEvent(1, 2);
  object.dateEvent(3);
  object.setJobId(4);
  object.setProgramName("x");
  EXPECT_EQ(object.appToString(1, 2), nullptr);
  EXPECT_EQ(object.getRegistryString("k", "n"), nullptr);
  unsigned long value = 9;
  EXPECT_EQ(object.getRegistryNumber("k", &value, "n"), 0);
  EXPECT_EQ(value, 9u);
}

// Objects made and dropped on several threads while others write: the
// count ends where it began and every line reaches the file whole.
TEST_F(ZNTDebuggableTest, ObjectsOnSeveralThreads) {
  ZNTDebuggable::logEvents(0);
  ZNTDebuggable::debugMask = 1;
  constexpr int kThreads = 8;
  constexpr int kLines = 300;
  {
    ZNTDebuggable keeper;  // keeps the file open throughout
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t] {
        ZNTDebuggable writer;
        writer.setDebugPrefix(("T" + std::to_string(t)).c_str());
        for (int k = 0; k < kLines; ++k) {
          ZNTDebuggable passing(writer);
          passing.debug(1, "line %d", k);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(ZNTDebuggable::usageCount, 1);
  }
  EXPECT_EQ(ZNTDebuggable::usageCount, 0);
  EXPECT_EQ(ZNTDebuggable::debugLog, nullptr);

  std::istringstream lines(ReadFile(shared()));
  std::map<std::string, int> seen;
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line.rfind("Hello from pid", 0) == 0) continue;
    ++seen[line];
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kLines; ++k) {
      EXPECT_EQ(seen["T" + std::to_string(t) + ": line " + std::to_string(k)], 1);
    }
  }
}

}  // namespace
