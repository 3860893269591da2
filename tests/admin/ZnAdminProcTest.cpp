// znadmin proc run, run as an administrator runs it: the command's exit
// code and both its outputs come back whole, its arguments reach it as
// given, the priority is the store's for the program, and a missing
// program or a CPU rate out of range is refused with the table's codes.

#include <unistd.h>

#include <string>
#include <vector>

#include "admin/AdminTestUtil.h"

namespace {

using zn::test::AdminOutcome;
using zn::test::Has;
using zn::test::JsonOf;

class ZnAdminProc : public zn::test::ZnAdmin {
 protected:
  AdminOutcome Proc(const std::vector<std::string>& options, const std::vector<std::string>& command) {
    std::vector<std::string> args{"--store", m_store, "proc", "run"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--");
    args.insert(args.end(), command.begin(), command.end());
    return zn::test::RunAdmin(args);
  }
};

TEST_F(ZnAdminProc, TheCommandsExitCodeAndBothOutputsComeBackWithTheSettingsUsed) {
  AdminOutcome run = Proc({}, {"/bin/sh", "-c", "printf 'out\\nmore'; printf err >&2; exit 7"});
  EXPECT_EQ(run.code, zn::test::kFailure) << run.err;  // the command failed, not znadmin
  EXPECT_TRUE(Has(run.out, "priority: Normal (class 32, nice 0)\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "creation flags: 0x8\ncpu rate: not capped\nuser: the caller\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "exit code: 7\n--- standard output (8 bytes)\nout\nmore\n--- standard error (3 bytes)\nerr\n"))
      << run.out;
  EXPECT_EQ(run.err, "");

  // Arguments with blanks, quotes, backslashes or nothing in them reach the
  // program as they were given (they travel as one command line).
  const std::vector<std::string> odd = {"a b", "q\"x", "", "back\\\\", "tail\\\" end", "\t"};
  std::vector<std::string> command = {"/usr/bin/printf", "[%s]"};
  command.insert(command.end(), odd.begin(), odd.end());
  run = Proc({"--json"}, command);
  ASSERT_EQ(run.code, zn::test::kOk) << run.err;
  const nlohmann::json data = JsonOf(run);
  std::string expected;
  for (const std::string& argument : odd) expected += "[" + argument + "]";
  EXPECT_EQ(data["output"], expected);
  EXPECT_EQ(data["error"], "");
  EXPECT_EQ(data["exitCode"], 0);
  EXPECT_EQ(data["command"], command);
  EXPECT_EQ(data["cpuRate"], nullptr);
  EXPECT_GT(data["pid"].get<long>(), 0);

  // --priority is the level when the store has none for the program; the
  // store's value for it wins, as for a service. The child reads its own
  // nice value (field 19 of its stat line).
  const std::vector<std::string> nice = {"/bin/sh", "-c", "cut -d' ' -f19 /proc/$$/stat"};
  run = Proc({"--priority", "below-normal", "--json"}, nice);
  ASSERT_EQ(run.code, zn::test::kOk) << run.err;
  EXPECT_EQ(JsonOf(run)["priority"]["name"], "Below Normal");
  EXPECT_EQ(JsonOf(run)["output"], "10\n");
  ZNPlatformInfo store(0, 0);
  ASSERT_TRUE(store.setNumber("Session", "sh_PRIORITY", 2));
  run = Proc({"--priority", "below-normal", "--json"}, nice);
  ASSERT_EQ(run.code, zn::test::kOk) << run.err;
  EXPECT_EQ(JsonOf(run)["priority"]["class"], 128);
  EXPECT_EQ(JsonOf(run)["output"], ::geteuid() == 0 ? "-10\n" : "0\n");  // raising needs root
}

TEST_F(ZnAdminProc, MissingProgramsAndCpuRatesOutOfRangeAreRefused) {
  AdminOutcome run = Proc({}, {m_dir.file("no-such-program"), "x"});
  EXPECT_EQ(run.code, zn::test::kNotFound);
  EXPECT_EQ(run.err, "znadmin proc run: cannot start [" + m_dir.file("no-such-program") +
                         "]: The system cannot find the file specified.\n");
  EXPECT_EQ(run.out, "");
  run = Proc({}, {"/etc"});
  EXPECT_EQ(run.code, zn::test::kFailure);
  EXPECT_EQ(run.err, "znadmin proc run: cannot start [/etc]: Access is denied.\n");

  for (const char* rate : {"0", "100", "-5"}) {
    run = Proc({"--cpu-rate", rate}, {"/bin/true"});
    EXPECT_EQ(run.code, zn::test::kUsage) << rate;
    EXPECT_EQ(run.err, std::string("znadmin proc run: invalid CPU rate [") + rate +
                           "]: give 1 to 99 (percent of one core)\n");
    EXPECT_EQ(run.out, "");
  }
  // A rate in range is used where the cgroup hierarchy takes it, and the
  // run refused before the command starts where it does not.
  run = Proc({"--cpu-rate", "20", "--json"}, {"/bin/echo", "capped"});
  if (run.code == zn::test::kOk) {
    EXPECT_EQ(JsonOf(run)["cpuRate"], 20);
    EXPECT_EQ(JsonOf(run)["output"], "capped\n");
  } else {
    EXPECT_EQ(run.code, zn::test::kFailure);
    EXPECT_EQ(run.err, "znadmin proc run: cannot cap the CPU rate at [20]: the cgroup v2 hierarchy refused the group "
                       "[znadmin-proc] (it needs a writable hierarchy with the cpu controller)\n");
    EXPECT_EQ(run.out, "");
  }
  run = zn::test::RunAdmin({"--store", m_store, "proc", "run", "--cpu-rate", "many", "--", "/bin/true"});
  EXPECT_EQ(run.code, zn::test::kUsage);
  run = zn::test::RunAdmin({"--store", m_store, "proc", "run"});
  EXPECT_EQ(run.code, zn::test::kUsage);
  EXPECT_TRUE(Has(run.err, "command is required")) << run.err;
}

}  // namespace
