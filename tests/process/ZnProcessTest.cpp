// Starting processes: priority from the store, the handles that reach the
// child, the environment, waits, stops, exit codes and the failures, with
// no descriptor and no child left behind by any of them.
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "process/ProcessTestUtil.h"
#include "zn/process/ZNChildProcess.h"
#include "zn/process/ZnProcess.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

using zn::test::ProcessHelper;

class ZnProcessTest : public zn::test::ProcessTest {
 protected:
  // Starts the helper in `mode` with output to a pipe; returns the pipe.
  int startHelper(ZnProcess& process, const std::string& arguments, zn::test::TestPipe& out, char* text = nullptr) {
    char local[512];
    return process.StartProcess(ProcessHelper(), arguments.c_str(), 0, 1, nullptr, out.writeHandle(), nullptr,
                                text != nullptr ? text : local, 512);
  }
};

TEST_F(ZnProcessTest, PriorityValuesOfTheStoreGiveTheChildsNiceValue) {
  ZNPlatformInfo store(0, 0);
  const struct {
    const char* value;
    unsigned long level;
    int nice;
  } cases[] = {{"zn_process_helper_PRIORITY", 1, 10}, {"zn_process_helper_PRIORITY", 2, -10}};
  for (const auto& c : cases) {
    ASSERT_TRUE(store.setNumber("Session", c.value, c.level));
    ZnProcess process;
    char text[512];
    ASSERT_EQ(process.StartProcess(ProcessHelper(), "sleep", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 1)
        << text;
    // As root the high class is granted; otherwise the child runs at 0 and
    // the refusal is logged.
    const int expected = c.nice < 0 && ::geteuid() != 0 ? 0 : c.nice;
    EXPECT_EQ(zn::test::NiceOf(process.GetProcessId()), expected) << c.level;
    EXPECT_EQ(process.StopProcess(), 1);
    if (expected != c.nice) {
      EXPECT_TRUE(Logged("It runs at Normal."));
    }
  }
  EXPECT_TRUE(Logged("Preparing to launch process: <" + std::string(ProcessHelper()) +
                     ">. Priority: <High>. Value: <128> creational flag <8>."));

  // Without any priority value a laptop agent's children run below normal.
  ASSERT_TRUE(store.deleteField("Session", "zn_process_helper_PRIORITY"));
  ASSERT_TRUE(store.setNumber("FileSystemAgent", "nLaptopAgent", 1));
  ZnProcess process;
  char text[512];
  ASSERT_EQ(process.StartProcess(ProcessHelper(), "sleep", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 1);
  EXPECT_EQ(zn::test::NiceOf(process.GetProcessId()), 10);
  EXPECT_EQ(process.StopProcess(), 1);
}

TEST_F(ZnProcessTest, PriorityLevelsAndFlagsFollowTheStoreInItsOrder) {
  ZNPlatformInfo store(0, 0);
  std::string name;
  unsigned long flags = 0;
  // Nothing stored: the default level when it is 0 to 2, else Normal.
  EXPECT_EQ(GetOSLevelPriority(name, flags, "/opt/x/agent.bin", 2), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(name, "High");
  EXPECT_EQ(flags, DETACHED_PROCESS);
  EXPECT_EQ(GetOSLevelPriority(name, flags, "/opt/x/agent.bin", 7), NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(name, "Normal");
  // The laptop agent's level comes before the default level ...
  ASSERT_TRUE(store.setNumber("FileSystemAgent", "nLaptopAgent", 1));
  EXPECT_EQ(GetOSLevelPriority(name, flags, "/opt/x/agent.bin", 2), BELOW_NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(name, "Below Normal");
  // ... the process-wide value before that, the program's own before all.
  ASSERT_TRUE(store.setNumber("Session", "PROCESS_PRIORITY", 2));
  EXPECT_EQ(GetOSLevelPriority(name, flags, "/opt/x/agent.bin", 0), HIGH_PRIORITY_CLASS);
  ASSERT_TRUE(store.setNumber("Session", "agent_PRIORITY", 0));
  EXPECT_EQ(GetOSLevelPriority(name, flags, "C:\\Program Files\\x\\agent.exe", 1), NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(GetOSLevelPriority(name, flags, "/opt/x/agent.bin", 1), NORMAL_PRIORITY_CLASS);
  ASSERT_TRUE(store.setNumber("Session", "agent_PRIORITY", 5));  // not a level: Normal
  EXPECT_EQ(GetOSLevelPriority(name, flags, "/opt/x/agent", 2), NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(name, "Normal");

  // A console for programs that ask for one; no window overrides it.
  ASSERT_TRUE(store.setNumber("Session", "agent.exe_CreateWindow", 1));
  EXPECT_TRUE(IsConsoleNeededForCommand("C:\\x\\agent.exe -a -b"));
  EXPECT_TRUE(IsConsoleNeededForCommand("\"C:\\x\\agent.exe\""));
  EXPECT_FALSE(IsConsoleNeededForCommand("C:\\x\\other.exe"));
  EXPECT_FALSE(IsConsoleNeededForCommand(nullptr));
  GetOSLevelPriority(name, flags, "C:\\x\\agent.exe", 0);
  EXPECT_EQ(flags, CREATE_NEW_CONSOLE);
  EXPECT_TRUE(Logged("Setting CREATE_NEW_CONSOLE flag for:C:\\x\\agent.exe"));
  ASSERT_TRUE(store.setNumber("Session", "nProcessCreationUseNoWindowFlag", 1));
  GetOSLevelPriority(name, flags, "C:\\x\\agent.exe", 0);
  EXPECT_EQ(flags, CREATE_NO_WINDOW);
}

TEST_F(ZnProcessTest, OnlyTheGivenHandlesReachTheChild) {
  // Descriptors of ours that are not close-on-exec must not leak either.
  const int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  zn::test::TestPipe out;
  ZnProcess process;
  char text[512];
  ASSERT_EQ(process.StartProcess(ProcessHelper(), "fds", 0, 1, nullptr, out.writeHandle(), nullptr, text, sizeof text),
            1)
      << text;
  out.writeEnd.reset();
  const std::string listing = zn::test::ReadToEnd(out.readEnd.get());
  int exitCode = -1;
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 60), 1);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(listing, "0\n1\n2\n");
  ::close(stray);

  // The same handle given twice counts once; the missing one is /dev/null.
  zn::test::TestPipe both;
  ASSERT_EQ(process.StartProcess(ProcessHelper(), "interleave 3", 0, 1, nullptr, both.writeHandle(),
                                 both.writeHandle(), text, sizeof text),
            1);
  both.writeEnd.reset();
  EXPECT_EQ(zn::test::ReadToEnd(both.readEnd.get()).size(), 6 * 4096u);
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 60), 1);

  // A handle that is no descriptor is refused before anything starts.
  void* bogus = reinterpret_cast<void*>(static_cast<intptr_t>(100000));
  EXPECT_EQ(process.StartProcess(ProcessHelper(), "exit 0", 0, 1, nullptr, bogus, nullptr, text, sizeof text), 0);
  EXPECT_STREQ(text, yq::Win32ErrorText(6).c_str());
  EXPECT_TRUE(Logged("Failed to initialize thread attribute list. Last Error:[6]"));
}

TEST_F(ZnProcessTest, TheCallersVariablesGoOverTheInheritedOnes) {
  zn::test::ScopedEnv inherited("ZN_PROCESS_TEST_A", "inherited");
  zn::test::ScopedEnv kept("ZN_PROCESS_TEST_B", "kept");
  ZnProcess process;
  std::string block;
  EXPECT_FALSE(process.GetEnvironmentVariablesBlockA(block));
  EXPECT_TRUE(Logged("No environment variables set for process."));
  process.SetEnvVariable("ZN_PROCESS_TEST_A", "mine");
  process.SetEnvVariables({{"ZN_PROCESS_TEST_C", "new"}});
  ASSERT_TRUE(process.GetEnvironmentVariablesBlockA(block));
  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(block.substr(block.size() - 2), std::string(2, '\0'));
  EXPECT_NE(block.find(std::string("\0ZN_PROCESS_TEST_A=mine\0", 24)), std::string::npos);
  EXPECT_EQ(block.find("ZN_PROCESS_TEST_A=inherited"), std::string::npos);
  std::wstring wide;
  ASSERT_TRUE(process.GetEnvironmentVariablesBlockW(wide));
  EXPECT_NE(wide.find(L"ZN_PROCESS_TEST_C=new"), std::wstring::npos);

  for (const auto& [name, expected] : {std::pair<std::string, std::string>{"ZN_PROCESS_TEST_A", "mine"},
                                       {"ZN_PROCESS_TEST_B", "kept"},
                                       {"ZN_PROCESS_TEST_C", "new"}}) {
    zn::test::TestPipe out;
    ASSERT_EQ(startHelper(process, "env " + name, out), 1);
    out.writeEnd.reset();
    EXPECT_EQ(zn::test::ReadToEnd(out.readEnd.get()), expected);
    int exitCode = -1;
    char text[64];
    EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 60), 1);
  }
  process.ClearEnvVariables();
  zn::test::TestPipe out;
  ASSERT_EQ(startHelper(process, "env ZN_PROCESS_TEST_C", out), 1);
  out.writeEnd.reset();
  EXPECT_EQ(zn::test::ReadToEnd(out.readEnd.get()), "<unset>");
  EXPECT_TRUE(Logged("creational flag <8>."));
}

TEST_F(ZnProcessTest, WaitsEndWithTheExitCodeOrATimeoutAndStopKills) {
  ZnProcess process;
  int exitCode = -1;
  char text[512];
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 1), 0);  // nothing started
  EXPECT_EQ(process.StopProcess(), 0);

  ASSERT_EQ(process.StartProcess(ProcessHelper(), "exit 42", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 1);
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text), 1);
  EXPECT_EQ(exitCode, 42);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text), 1);  // asked again: the same
  EXPECT_EQ(exitCode, 42);

  ASSERT_EQ(process.StartProcess(ProcessHelper(), "signal 15", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 1);
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 60), 1);
  EXPECT_EQ(exitCode, 128 + SIGTERM);

  // A child that never ends: the bounded wait gives "Timeout", the stop
  // kills and reaps it.
  ASSERT_EQ(process.StartProcess(ProcessHelper(), "sleep", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 1);
  const unsigned long pid = process.GetProcessId();
  EXPECT_NE(pid, 0u);
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 0), 0);
  EXPECT_STREQ(text, "Timeout");
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 1), 0);
  EXPECT_STREQ(text, "Timeout");
  void* duplicate = nullptr;
  ASSERT_TRUE(process.GetProcessDuplicateHandle(duplicate));
  EXPECT_NE(duplicate, process.GetProcessHandle());
  ::close(static_cast<int>(reinterpret_cast<intptr_t>(duplicate) - 1));
  EXPECT_EQ(process.StopProcess(), 1);
  EXPECT_EQ(process.GetProcessId(), 0u);
  EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), -1);  // reaped: gone, not a zombie
  EXPECT_EQ(process.StopProcess(), 0);

  // A running child whose object goes is reaped once it ends (checked by
  // the fixture): start one that ends by itself and drop it.
  {
    ZnProcess dropped;
    ASSERT_EQ(dropped.StartProcess(ProcessHelper(), "exit 0", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 1);
  }
}

TEST_F(ZnProcessTest, MissingOrUnusableProgramsFailToStart) {
  ZnProcess process;
  char text[512];
  EXPECT_EQ(process.StartProcess("/nonexistent/zn-program", "", 0, 1, nullptr, nullptr, nullptr, text, sizeof text),
            0);
  EXPECT_STREQ(text, yq::Win32ErrorText(2).c_str());
  EXPECT_EQ(process.StartProcess("zn-no-such-program-on-path", nullptr, 0, 1, nullptr, nullptr, nullptr, text,
                                 sizeof text),
            0);
  EXPECT_STREQ(text, yq::Win32ErrorText(2).c_str());
  // A file without execute permission is refused as Windows refuses it
  // (root too: exec wants at least one execute bit), a folder likewise; an
  // executable file the loader cannot run is a bad format, never a child
  // exiting with 127.
  const std::string plain = m_logDir.file("plain-file");
  const std::string garbage = m_logDir.file("garbage-program");
  for (const std::string& path : {plain, garbage}) {
    std::ofstream(path) << "\x7f" << "not a program\n";
  }
  ASSERT_EQ(::chmod(plain.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(garbage.c_str(), 0755), 0);
  EXPECT_EQ(process.StartProcess(plain.c_str(), nullptr, 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 0);
  EXPECT_STREQ(text, "Access is denied.");
  EXPECT_EQ(process.StartProcess(nullptr, ("\"" + plain + "\" arg").c_str(), 0, 1, nullptr, nullptr, nullptr, text,
                                 sizeof text),
            0);
  EXPECT_STREQ(text, "Access is denied.");
  EXPECT_EQ(process.StartProcess(m_logDir.path().c_str(), nullptr, 0, 1, nullptr, nullptr, nullptr, text, sizeof text),
            0);
  EXPECT_STREQ(text, "Access is denied.");
  EXPECT_EQ(process.StartProcess(garbage.c_str(), nullptr, 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 0);
  EXPECT_STREQ(text, "An attempt was made to load a program with an incorrect format.");
  ZNChildProcess child;
  char* const childArgv[] = {const_cast<char*>(plain.c_str()), nullptr};
  EXPECT_EQ(child.spawnDisconnected(plain.c_str(), childArgv), -1);
  EXPECT_EQ(child.getLastError(), 5);
  EXPECT_STREQ(child.getFailureMessage(), "CreateProcess failed");
  EXPECT_EQ(process.StartProcess(nullptr, "", 0, 1, nullptr, nullptr, nullptr, text, sizeof text), 0);  // empty
  EXPECT_STREQ(text, yq::Win32ErrorText(2).c_str());
  EXPECT_EQ(process.GetProcessId(), 0u);

  // A name with no Unicode form fails on the Unicode path, not on the other.
  EXPECT_EQ(process.StartProcessUnicode(ProcessHelper(), "exit \xff", 0, 1, nullptr, nullptr, nullptr, text,
                                        sizeof text, nullptr, nullptr, nullptr, nullptr, true, false, 0),
            0);
  EXPECT_TRUE(Logged("Failed to convert command line arguments (exit \xff) to unicode. Error:[No mapping for the "
                     "Unicode character exists in the target multi-byte code page.]."));
  EXPECT_STREQ(text, "No mapping for the Unicode character exists in the target multi-byte code page.");
  EXPECT_EQ(process.StartProcessUnicode(ProcessHelper(), "pwd", 0, 1, nullptr, nullptr, nullptr, text, sizeof text,
                                        nullptr, nullptr, nullptr, "/tmp/\xfe", true, false, 0),
            0);
  EXPECT_TRUE(Logged("Failed to convert current directory (/tmp/\xfe) to unicode. Error:["));

  // A folder that does not exist fails the start too.
  EXPECT_EQ(process.StartProcessWithPriority(ProcessHelper(), "pwd", 0, 1, nullptr, nullptr, nullptr, text,
                                             sizeof text, nullptr, nullptr, nullptr, "/nonexistent-zn", true, false, 0),
            0);
  EXPECT_STREQ(text, yq::Win32ErrorText(2).c_str());
  zn::test::TestPipe out;
  EXPECT_EQ(process.StartProcessWithPriority(ProcessHelper(), "pwd", 0, 1, nullptr, out.writeHandle(), nullptr, text,
                                             sizeof text, nullptr, nullptr, nullptr, "/tmp", false, false, 0),
            1);
  out.writeEnd.reset();
  EXPECT_EQ(zn::test::ReadToEnd(out.readEnd.get()), "/tmp");
  int exitCode = -1;
  EXPECT_EQ(process.WaitForProcessToEnd(exitCode, text, sizeof text, 60), 1);
}

TEST_F(ZnProcessTest, ProcessesStartFromManyThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRuns = 25;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRuns; ++i) {
        std::string out;
        std::string err;
        const std::string command = std::string(ProcessHelper()) + " exit " + std::to_string((t * kRuns + i) % 100);
        if (ZnProcess::system(command.c_str(), &out, &err, 0, true) != (t * kRuns + i) % 100) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);

}

}  // namespace
