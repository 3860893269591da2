// Running a command with its output captured, as another user, and capping
// the CPU rate of a process.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "process/HelperBlocks.h"
#include "process/ProcessTestUtil.h"
#include "zn/process/ZnProcess.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

using zn::test::ProcessHelper;

class ZnProcessSystemTest : public zn::test::ProcessTest {
 protected:
  static std::string Helper(const std::string& arguments) { return std::string(ProcessHelper()) + " " + arguments; }
};

TEST_F(ZnProcessSystemTest, BothStreamsOfMegabytesComeWholeAndInOrder) {
  // 1024 blocks of 4 KiB on each stream, written in turn: a reader that
  // waited for one stream's end would stall the child on the other.
  constexpr int kBlocks = 1024;
  std::string out;
  std::string err;
  ASSERT_EQ(ZnProcess::system(Helper("interleave " + std::to_string(kBlocks)).c_str(), &out, &err, 0, false), 0);
  ASSERT_EQ(out.size(), kBlocks * zn::test::kHelperBlockSize);
  ASSERT_EQ(err.size(), kBlocks * zn::test::kHelperBlockSize);
  int wrong = 0;
  for (int i = 0; i < kBlocks; ++i) {
    const std::size_t at = static_cast<std::size_t>(i) * zn::test::kHelperBlockSize;
    wrong += out.compare(at, zn::test::kHelperBlockSize, zn::test::HelperBlock('O', i)) != 0 ? 1 : 0;
    wrong += err.compare(at, zn::test::kHelperBlockSize, zn::test::HelperBlock('E', i)) != 0 ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(Logged("Successfully executed command [" + Helper("interleave 1024") + "] with exitCode [0]"));
}

TEST_F(ZnProcessSystemTest, ExitCodesFailuresAndQuotedArguments) {
  std::string out = "untouched";
  std::string err;
  EXPECT_EQ(ZnProcess::system(Helper("exit 3").c_str(), &out, &err, 0, false), 3);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(Logged("Failed to execute command[" + Helper("exit 3") + "].Error[]"));
  EXPECT_EQ(ZnProcess::system(Helper("signal 9").c_str(), &out, &err, 0, false), 128 + SIGKILL);

  // Quoting as the C runtime has it: the blank stays inside the argument.
  EXPECT_EQ(ZnProcess::system(Helper("env \"ZN PROCESS\\\"Q\"").c_str(), &out, &err, 0, true), 0);
  EXPECT_EQ(out, "<unset>");

  EXPECT_EQ(ZnProcess::system("/nonexistent/zn-program -x", &out, &err, 0, false), -1);
  EXPECT_TRUE(Logged("Failed to execute system command [/nonexistent/zn-program -x]"));
  EXPECT_EQ(err, yq::Win32ErrorText(2));
  EXPECT_EQ(ZnProcess::system("", nullptr, nullptr, 0, false), -1);
  EXPECT_EQ(ZnProcess::system(nullptr, nullptr, nullptr, 0, false), -1);
  EXPECT_EQ(ZnProcess::system(Helper("exit 0").c_str(), nullptr, nullptr, 0, true), 0);  // no strings asked for
}

TEST_F(ZnProcessSystemTest, AnotherUserRunsWithItsOwnIdentityOrTheRefusalIsReported) {
  std::string out;
  std::string err;
  if (::geteuid() != 0) {
    EXPECT_EQ(ZnProcess::system(Helper("ids").c_str(), &out, &err, 0, false, "nobody", "wrong"), -1);
    EXPECT_TRUE(Logged("Failed to execute system command [" + Helper("ids") + "]"));
    return;
  }
  // A throw-away user with a password and an extra group, removed after.
  const std::string user = "zntu" + std::to_string(::getpid() % 100000);
  const std::string group = user + "g";
  ASSERT_EQ(std::system(("groupadd " + group + " && useradd -M -N -g users -G " + group + " " + user +
                         " && echo '" + user + ":Zn-Pass-42' | chpasswd")
                            .c_str()),
            0);
  auto removeUser = [&] { std::system(("userdel " + user + " ; groupdel " + group + " 2>/dev/null").c_str()); };
  struct Cleanup {
    std::function<void()> run;
    ~Cleanup() { run(); }
  } cleanup{removeUser};

  const struct passwd* entry = ::getpwnam(user.c_str());
  ASSERT_NE(entry, nullptr);
  std::vector<gid_t> groups(64);
  int count = static_cast<int>(groups.size());
  ASSERT_GE(::getgrouplist(user.c_str(), entry->pw_gid, groups.data(), &count), 0);
  groups.resize(static_cast<std::size_t>(count));
  std::sort(groups.begin(), groups.end());
  std::string expected = std::to_string(entry->pw_uid) + " " + std::to_string(entry->pw_gid);
  for (const gid_t g : groups) expected += " " + std::to_string(g);

  // The user must reach the helper: a checkout below a folder closed to
  // others (mktemp's 0700) would not let it, so it runs a copy in a folder
  // of its own, open to everyone and removed after.
  char folder[] = "/tmp/zn_user_helper.XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::filesystem::path copy = std::filesystem::path(folder) / "helper";
  struct RemoveFolder {
    std::string path;
    ~RemoveFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } removeFolder{folder};
  ASSERT_EQ(::chmod(folder, 0755), 0);
  std::filesystem::copy_file(ProcessHelper(), copy);
  ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
  const std::string ids = copy.string() + " ids";
  ASSERT_EQ(ZnProcess::system(ids.c_str(), &out, &err, 0, false, (".\\" + user).c_str(), "Zn-Pass-42"), 0) << err;
  EXPECT_EQ(out, expected + "\n");

  EXPECT_EQ(ZnProcess::system(Helper("ids").c_str(), &out, &err, 0, false, user.c_str(), "wrong"), -1);
  EXPECT_EQ(ZnProcess::system(Helper("ids").c_str(), &out, &err, 0, false, "zn-no-such-user", "x"), -1);
  EXPECT_TRUE(Logged("Failed to execute system command [" + Helper("ids") + "]"));
}

TEST_F(ZnProcessSystemTest, TheLoggedOnUsersSessionIsFoundOrTheFailureReported) {
  std::string out;
  std::string err;
  const int result = ZnProcess::system_loggedinuser_nopassword(Helper("ids").c_str(), &out, &err, 0, false);
  if (result == 0) {
    EXPECT_TRUE(Logged("to launch process."));
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(Logged("Failed to enumerate session.[") || Logged("Failed to query user token errorCode-["));
  }
}

// A forked child of the test caps itself at `percent` and then spins for
// two seconds; it reports LimitCPURate's result and the share it got.
struct CappedRun {
  int result = -99;
  int share = -1;
};

CappedRun RunCapped(const std::string& group, int percent) {
  CappedRun run;
  zn::test::TestPipe report;
  const pid_t pid = ::fork();
  if (pid == 0) {
    report.readEnd.reset();
    const int result = ZnProcess::LimitCPURate(group.c_str(), percent);
    int share = -1;
    if (result == 0) {
      // The spinning happens in the helper: exec keeps the group.
      const std::string command = std::string(ProcessHelper()) + " spin 2";
      std::string out;
      ZnProcess::system(command.c_str(), &out, nullptr, 0, true);
      share = std::atoi(out.c_str());
    }
    const std::string text = std::to_string(result) + " " + std::to_string(share);
    [[maybe_unused]] const ssize_t n = ::write(report.writeEnd.get(), text.data(), text.size());
    ::_exit(0);
  }
  report.writeEnd.reset();
  std::istringstream words(zn::test::ReadToEnd(report.readEnd.get(), std::chrono::seconds(60)));
  words >> run.result >> run.share;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return run;
}

// The cgroup v2 folder of this process, from the mount table and its own
// cgroup line; empty when there is no cgroup2 mount.
std::string OwnCgroupFolder() {
  std::ifstream mounts("/proc/self/mountinfo");
  for (std::string line; std::getline(mounts, line);) {
    if (line.find(" - cgroup2 ") == std::string::npos) continue;
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 5; ++i) fields >> field;
    std::ifstream own("/proc/self/cgroup");
    for (std::string ownLine; std::getline(own, ownLine);) {
      if (ownLine.rfind("0::", 0) == 0) return field + (ownLine.substr(3) == "/" ? "" : ownLine.substr(3));
    }
  }
  return std::string();
}

bool ListsWord(const std::string& file, const std::string& word) {
  std::ifstream in(file);
  for (std::string each; in >> each;) {
    if (each == word) return true;
  }
  return false;
}

TEST_F(ZnProcessSystemTest, CpuRateIsCappedWhereTheHierarchyAllowsItAndRefusedOtherwise) {
  EXPECT_EQ(ZnProcess::LimitCPURate("zn-test", 100), -1);
  EXPECT_TRUE(Logged("Error: Invalid CPU rate limit specified. Limit [100]"));
  EXPECT_EQ(ZnProcess::LimitCPURate("zn-test", 0), -1);
  EXPECT_TRUE(Logged("Error: Invalid CPU rate limit specified. Limit [0]"));
  EXPECT_EQ(ZnProcess::LimitCPURate(nullptr, 20), -1);
  EXPECT_TRUE(Logged("Error: Invalid CPU rate limit grp name specified."));
  EXPECT_EQ(ZnProcess::LimitCPURate("../escape", 20), -1);
  EXPECT_TRUE(Logged("Failed to create job object for Grp [../escape], CPU rate limit [20]. Err [123]"));

  const std::string group = "zn-test-cpu-" + std::to_string(::getpid());
  const std::string parent = OwnCgroupFolder();
  const CappedRun run = RunCapped(group, 20);
  if (run.result == 0) {
    EXPECT_GE(run.share, 10);
    EXPECT_LE(run.share, 30);
    EXPECT_TRUE(Logged("Successfully set CPU limit for current process to [20]"));
  } else {
    // Which step fails follows from the machine, read here independently:
    // no cgroup2 mount, a folder we may not write, no cpu controller that
    // the parent can hand down (bound to a v1 hierarchy, say), or the move.
    EXPECT_EQ(run.result, -1);
    const std::string create = "Failed to create job object for Grp [" + group + "], CPU rate limit [20]. Err [";
    if (parent.empty()) {
      EXPECT_TRUE(Logged(create + "3]")) << LogText();
    } else if (::access(parent.c_str(), W_OK) != 0) {
      EXPECT_TRUE(Logged(create + "5]")) << LogText();
    } else if (!ListsWord(parent + "/cgroup.controllers", "cpu")) {
      EXPECT_TRUE(Logged("Failed to set job object info for CPU rate limit [20]. Size [8], Err [")) << LogText();
      EXPECT_FALSE(Logged(create)) << LogText();
    } else {
      EXPECT_TRUE(Logged("Failed to set job object info for CPU rate limit [20]. Size [8], Err [") ||
                  Logged("Failed to assign job object for CPU rate limit [20]. Err ["))
          << LogText();
    }
    EXPECT_FALSE(Logged("Successfully set CPU limit")) << LogText();
  }
  // The group goes with its last process; a failed attempt leaves none.
  if (!parent.empty()) {
    const std::string folder = parent + "/" + group;
    ::rmdir(folder.c_str());
    EXPECT_NE(::access(folder.c_str(), F_OK), 0) << folder;
  }
}

}  // namespace
