// znadmin config delete: a key with subkeys is deleted only with -r; on a
// terminal a tree is deleted only after a yes (never asked when stdin is
// no terminal); --dry-run lists what would go and deletes nothing.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ZnAdminTestUtil.h"

namespace {

using zn::test::Outcome;
using zn::test::ZnAdmin;

using ZnAdminDelete = ZnAdmin;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string AdminProgram() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "znadmin").string();
}

// znadmin with its stdin on a terminal that `answer` is typed into; what
// it wrote to stderr, and its exit code.
Outcome OnTerminal(const std::vector<std::string>& args, const std::string& answer) {
  Outcome run;
  int master = -1, slave = -1;
  int err[2];
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
  const std::string program = AdminProgram();
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    ::dup2(slave, 0);
    ::dup2(err[1], 2);
    ::close(master);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(slave);
  ::close(err[1]);
  // Typed ahead: the terminal keeps the line until it is read.
  const std::string typed = answer + "\n";
  (void)!::write(master, typed.data(), typed.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char chunk[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    struct pollfd fd = {err[0], POLLIN, 0};
    if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    const ssize_t n = ::read(err[0], chunk, sizeof chunk);
    if (n <= 0) break;
    run.err.append(chunk, static_cast<std::size_t>(n));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(err[0]);
  ::close(master);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST_F(ZnAdminDelete, ATreeNeedsRecursionADryRunListsItAndATerminalIsAsked) {
  ZNPlatformInfo info(0, 0);
  ASSERT_TRUE(info.setString("T", "sTop", "top"));
  ASSERT_TRUE(info.setNumber("T\\A", "nA", 1));
  ASSERT_TRUE(info.setString("T\\A\\Deep", "sDeep", "deep"));
  ASSERT_TRUE(info.setString("Leaf", "sLeaf", "leaf"));
  const std::string tree = std::string(zn::test::kInstanceKey) + "\\T";
  const auto before = zn::test::TreeBelow(tree);

  // Without -r a key with subkeys stays, and the message says why.
  Outcome run = Config({"delete", "~T"});
  EXPECT_EQ(run.code, 5);
  EXPECT_EQ(run.err, "znadmin config delete: key [" + tree + "] has subkeys (3 keys and 3 values in all): -r " +
                         "deletes it with everything below it, -r --dry-run lists them\n");
  EXPECT_EQ(zn::test::TreeBelow(tree), before);
  EXPECT_EQ(Config({"delete", "~T", "--dry-run"}).code, 5);  // a dry run tells the same

  // A dry run lists what would go, in the export's form, and keeps it.
  run = Config({"delete", "-r", "~T", "--dry-run"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "[" + tree + "]\n\"sTop\"=string:\"top\"\n[" + tree + "\\A]\n\"nA\"=number:1\n[" + tree +
                         "\\A\\Deep]\n\"sDeep\"=string:\"deep\"\n# would delete 3 keys and 3 values\n");
  EXPECT_EQ(zn::test::TreeBelow(tree), before);
  run = Config({"delete", "~T", "sTop", "--dry-run"});
  EXPECT_EQ(run.out, "[" + tree + "]\n\"sTop\"=string:\"top\"\n# would delete 1 value\n");
  EXPECT_EQ(zn::test::TreeBelow(tree), before);

  // On a terminal a tree goes only after a yes.
  run = OnTerminal({"--store", m_store, "config", "delete", "-r", "~T"}, "n");
  EXPECT_EQ(run.code, 5) << run.err;
  EXPECT_TRUE(Has(run.err, "delete [" + tree + "] and everything below it (3 keys and 3 values)? [y/N] ")) << run.err;
  EXPECT_TRUE(Has(run.err, "znadmin config delete: nothing deleted\n")) << run.err;
  EXPECT_EQ(zn::test::TreeBelow(tree), before);
  run = OnTerminal({"--store", m_store, "config", "delete", "-r", "~T"}, "y");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(zn::test::TreeBelow(tree).empty());

  // Without a terminal nobody is asked; -y skips the question anywhere.
  ASSERT_TRUE(info.setString("T\\A", "sAgain", "x"));
  run = Config({"delete", "-r", "~T"}, "n\n");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(zn::test::TreeBelow(tree).empty());
  ASSERT_TRUE(info.setString("T\\A", "sAgain", "x"));
  run = OnTerminal({"--store", m_store, "config", "delete", "-r", "-y", "~T"}, "");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(Has(run.err, "[y/N]")) << run.err;
  EXPECT_TRUE(zn::test::TreeBelow(tree).empty());

  // A key without subkeys needs neither, and takes its values with it.
  run = OnTerminal({"--store", m_store, "config", "delete", "~Leaf"}, "");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Config({"get", "~Leaf", "sLeaf"}).code, 3);
}

}  // namespace
