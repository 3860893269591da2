// Which instance znadmin works on: --instance, else $ZN_FOCUS, else the
// store's only instance; with no choice every command that needs one
// stops with one line saying how to choose, and nothing else is printed.

#include <optional>
#include <string>
#include <vector>

#include "admin/AdminTestUtil.h"

namespace {

using zn::test::AdminOutcome;
using zn::test::EnvironmentChanges;
using zn::test::Has;
using zn::test::LineCount;
using zn::test::ZnAdmin;

const EnvironmentChanges kNoFocus = {{"ZN_FOCUS", std::nullopt}};

class ZnAdminFocus : public ZnAdmin {
 protected:
  AdminOutcome Run(std::vector<std::string> args, const EnvironmentChanges& environment = kNoFocus) {
    args.insert(args.begin(), {"--store", m_store});
    return zn::test::RunAdmin(args, "", environment);
  }
};

// The commands that need an instance, each as an administrator types it.
const std::vector<std::vector<std::string>> kInstanceCommands = {
    {"info"},           {"jobs", "list"},          {"log", "level", "zndemo"}, {"log", "off", "zndemo"},
    {"log", "tail", "zndemo"}, {"log", "list"},    {"metrics", "tail"},        {"pool", "show"},
    {"status"},         {"tasks", "list"},         {"tasks", "enable", "zndemo", "Progress"},
    {"config", "get", "~EventManager", "zndemo_DEBUGLEVEL"}, {"config", "list", "~EventManager"},
    {"proc", "run", "--", "/bin/true"},
};

TEST_F(ZnAdminFocus, WithoutAnInstanceToChooseEveryCommandSaysHowToChoose) {
  for (const auto& command : kInstanceCommands) {
    const AdminOutcome run = Run(command);
    const std::string shown = command[0] + " " + (command.size() > 1 ? command[1] : "");
    EXPECT_EQ(run.code, zn::test::kUsage) << shown << ": " << run.err;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_EQ(LineCount(run.err), 1u) << shown << ": " << run.err;
    EXPECT_TRUE(Has(run.err, "no instance of [Orvane]; name one with --instance NAME or $ZN_FOCUS")) << run.err;
    EXPECT_FALSE(Has(run.err, "Focus problem")) << run.err;
  }
  // An absolute key needs no instance.
  EXPECT_EQ(Run({"config", "set", "SOFTWARE\\Other", "sName", "x"}).code, zn::test::kOk);
  EXPECT_EQ(Run({"config", "get", "SOFTWARE\\Other", "sName"}).out, "x\n");
  EXPECT_EQ(Run({"version", "11.32.5"}).code, zn::test::kOk);
}

TEST_F(ZnAdminFocus, TheOnlyInstanceOfTheStoreIsTakenSeveralAreNotGuessedAmong) {
  // One instance, with a level of its own: the stored level, not the default.
  ZNPlatformInfo store(0, 0);
  ASSERT_TRUE(store.setNumber("EventManager", "zndemo_DEBUGLEVEL", 2));
  AdminOutcome run = Run({"log", "level", "zndemo"});
  EXPECT_EQ(run.code, zn::test::kOk) << run.err;
  EXPECT_EQ(run.out, "zndemo: 2 (for seven days from the next settings revision, then 1)\n");
  run = Run({"info", "--json"});
  ASSERT_EQ(run.code, zn::test::kOk) << run.err;
  EXPECT_EQ(zn::test::JsonOf(run)["instance"], "Instance001");
  EXPECT_EQ(run.err, "");

  // The named locks' key is no instance.
  zn::ConfigStore& raw = zn::ConfigStore::ForThisThread();
  ASSERT_EQ(raw.writeValue("SOFTWARE\\Tessaly Systems\\Orvane\\Locks", "sHolder", kZnRegString, std::string("x\0", 2)),
            zn::StoreStatus::kOk);
  EXPECT_EQ(Run({"log", "level", "zndemo"}).code, zn::test::kOk);

  // Two instances: none is guessed; both are named.
  ASSERT_EQ(raw.writeValue("SOFTWARE\\Tessaly Systems\\Orvane\\Instance002\\EventManager", "sOther", kZnRegString,
                           std::string("x\0", 2)),
            zn::StoreStatus::kOk);
  for (const auto& command : kInstanceCommands) {
    run = Run(command);
    EXPECT_EQ(run.code, zn::test::kUsage) << command[0];
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(LineCount(run.err), 1u) << run.err;
    EXPECT_TRUE(Has(run.err, "holds 2 instances (Instance001, Instance002); name one with --instance NAME or $ZN_FOCUS"))
        << run.err;
  }

  // Chosen by the option, or by the environment.
  run = Run({"--instance", "Instance002", "log", "level", "zndemo"});
  EXPECT_EQ(run.out, "zndemo: 1 (default)\n") << run.err;
  run = Run({"log", "level", "zndemo"}, {{"ZN_FOCUS", std::string("Instance001")}});
  EXPECT_EQ(run.out, "zndemo: 2 (for seven days from the next settings revision, then 1)\n") << run.err;
  run = Run({"--instance", "Instance002", "log", "level", "zndemo"}, {{"ZN_FOCUS", std::string("Instance001")}});
  EXPECT_EQ(run.out, "zndemo: 1 (default)\n") << "the option comes first: " << run.err;

  // Given but empty is a mistake, not a choice.
  run = Run({"--instance", "", "info"});
  EXPECT_EQ(run.code, zn::test::kUsage);
  EXPECT_EQ(run.err, "znadmin info: --instance needs an instance's name\n");
  run = Run({"info"}, {{"ZN_FOCUS", std::string()}});
  EXPECT_EQ(run.code, zn::test::kUsage);
  EXPECT_EQ(run.err, "znadmin info: $ZN_FOCUS is set but empty: name one with --instance NAME or $ZN_FOCUS\n");
}

}  // namespace
