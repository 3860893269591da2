// znadmin metrics tail, run as the built program: the end of the metrics
// log (across its newest older version), a missing log, and -f following
// new lines and a rollover.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "helpers/AdminRunner.h"
#include "metrics/MetricsTestUtil.h"
#include "zuzazer/LogVersions.h"

namespace {

using zn::test::AdminOutcome;
using zn::test::RunAdmin;

std::string AdminProgram() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "znadmin";
  return (std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path() / "znadmin").string();
}

// The last `count` lines of a file, each with its line end.
std::string LastLines(const std::string& path, std::size_t count) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  std::string text;
  for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) text += lines[i];
  return text;
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::app | std::ios::binary);
  out << text;
}

// znadmin left running (for -f): its output is read as it comes, and it is
// killed when the object goes.
class RunningAdmin {
 public:
  explicit RunningAdmin(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string program = AdminProgram();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::dup2(out[1], 1);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    m_out = out[0];
  }
  ~RunningAdmin() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) ::close(m_out);
  }
  RunningAdmin(const RunningAdmin&) = delete;
  RunningAdmin& operator=(const RunningAdmin&) = delete;

  // Reads until the output so far contains `text`; false after 30 s or when
  // the program ends first.
  bool waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (m_output.find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return false;
      struct pollfd fd = {m_out, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(m_out, chunk, sizeof chunk);
      if (n <= 0) return false;
      m_output.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }
  const std::string& output() const { return m_output; }

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  std::string m_output;
};

class ZnMetricsAdminTest : public zn::test::MetricsTest {};

TEST_F(ZnMetricsAdminTest, TailShowsTheEndOfTheMetricsLog) {
  StartCollecting();
  ZnMetricsCollector::AddObservation("ThreadPool", "Jobs", "TaskAdded", ZnStatSum, ZnStatLogAll, ZnResetNever, 0);
  for (int i = 1; i <= 15; ++i) {
    ZnMetricsCollector::Update("ThreadPool", "Jobs", "TaskAdded", 1);
    ZnMetricsCollector::DumpStatistics("ThreadPool", "Jobs");
  }
  const AdminOutcome three = RunAdmin({"metrics", "tail", "-n", "3"});
  EXPECT_EQ(three.code, 0) << three.err;
  EXPECT_EQ(three.out, LastLines(LogPath(), 3));
  EXPECT_NE(three.out.find("Type=\"Delta\" TaskAdded=\"15\" \n"), std::string::npos);
  const AdminOutcome standard = RunAdmin({"metrics", "tail"});
  EXPECT_EQ(standard.code, 0) << standard.err;
  EXPECT_EQ(standard.out, LastLines(LogPath(), 10));
  EXPECT_EQ(RunAdmin({"metrics", "tail", "-n", "0"}).out, "");
  EXPECT_EQ(RunAdmin({"metrics", "tail", "-n", "-1"}).code, 2);  // usage
}

TEST_F(ZnMetricsAdminTest, TailReachesIntoTheNewestOlderVersion) {
  zn::test::TempDir folder;
  std::string older, newest;
  for (int i = 1; i <= 4; ++i) older += "older " + std::to_string(i) + "\n";
  for (int i = 1; i <= 4; ++i) newest += "newest " + std::to_string(i) + "\n";
  Append(folder.file(yq::LogVersionFileName("PerformanceMetrics", 1700000000)), older);
  Append(folder.file(yq::LogVersionFileName("PerformanceMetrics", 1800000000)), newest);
  Append(folder.file("PerformanceMetrics.log"), "current 1\ncurrent 2\n");
  const AdminOutcome run = RunAdmin({"metrics", "tail", "-n", "5", "--dir", folder.path()});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "newest 2\nnewest 3\nnewest 4\ncurrent 1\ncurrent 2\n");
}

TEST_F(ZnMetricsAdminTest, MissingLogFails) {
  zn::test::TempDir empty;
  const AdminOutcome run = RunAdmin({"metrics", "tail", "--dir", empty.path()});
  EXPECT_EQ(run.code, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "znadmin metrics tail: cannot open [" + empty.file("PerformanceMetrics.log") +
                         "]: No such file or directory\n");
}

TEST_F(ZnMetricsAdminTest, FollowPrintsNewLinesAcrossARollover) {
  zn::test::TempDir folder;
  const std::string path = folder.file("PerformanceMetrics.log");
  Append(path, "first\nsecond\n");
  RunningAdmin tail({"metrics", "tail", "-n", "1", "-f", "--dir", folder.path()});
  ASSERT_TRUE(tail.waitFor("second\n")) << tail.output();
  Append(path, "third\n");
  ASSERT_TRUE(tail.waitFor("third\n")) << tail.output();
  // Rolled over: the file becomes a version and a new one starts.
  std::filesystem::rename(path, folder.file(yq::LogVersionFileName("PerformanceMetrics", 1700000000)));
  Append(path, "after rollover\n");
  ASSERT_TRUE(tail.waitFor("after rollover\n")) << tail.output();
  EXPECT_EQ(tail.output(), "second\nthird\nafter rollover\n");
}

TEST_F(ZnMetricsAdminTest, FollowWaitsForALogThatDoesNotExistYet) {
  zn::test::TempDir folder;
  RunningAdmin tail({"metrics", "tail", "-f", "--dir", folder.path()});
  Append(folder.file("PerformanceMetrics.log"), "born\n");
  ASSERT_TRUE(tail.waitFor("born\n")) << tail.output();
}

}  // namespace
