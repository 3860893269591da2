// The conventions every znadmin command keeps: --version; --help on every
// command and group, to stdout; one table of exit codes, with the same
// code for an unknown name everywhere; messages that name the command and
// the object; and --json output that parses back into what the text shows.

#include <deque>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "admin/AdminTestUtil.h"
#include "zn/log/LogSettings.h"

namespace {

using nlohmann::json;
using zn::test::AdminOutcome;
using zn::test::Has;
using zn::test::JsonOf;
using zn::test::Subcommands;
using zn::test::ZnAdmin;

using ZnAdminConventions = ZnAdmin;

AdminOutcome Admin(const std::vector<std::string>& args) { return zn::test::RunAdmin(args); }

TEST_F(ZnAdminConventions, VersionAndHelpOnEveryCommandGoToStdout) {
  AdminOutcome run = Admin({"--version"});
  EXPECT_EQ(run.code, zn::test::kOk);
  EXPECT_TRUE(run.out.rfind("znadmin ", 0) == 0 && run.out.back() == '\n') << run.out;
  EXPECT_EQ(run.err, "");

  // Every command of the tree, found through the help texts themselves.
  std::deque<std::vector<std::string>> pending{{}};
  std::set<std::string> seen;
  while (!pending.empty()) {
    std::vector<std::string> command = pending.front();
    pending.pop_front();
    std::vector<std::string> args = command;
    args.push_back("--help");
    run = Admin(args);
    std::string path = "znadmin";
    for (const std::string& word : command) path += " " + word;
    EXPECT_EQ(run.code, zn::test::kOk) << path;
    EXPECT_EQ(run.err, "") << path;
    EXPECT_TRUE(Has(run.out, "Usage: " + path)) << path << ":\n" << run.out;
    seen.insert(path);
    for (const std::string& sub : Subcommands(run.out)) {
      std::vector<std::string> deeper = command;
      deeper.push_back(sub);
      pending.push_back(deeper);
    }
  }
  for (const char* expected :
       {"znadmin config delete", "znadmin config export", "znadmin info", "znadmin jobs show", "znadmin log tail",
        "znadmin log list", "znadmin log level", "znadmin metrics tail", "znadmin pool show", "znadmin status",
        "znadmin tasks list", "znadmin tasks frequency", "znadmin version"}) {
    EXPECT_EQ(seen.count(expected), 1u) << expected;
  }
  EXPECT_GE(seen.size(), 30u);
  // The exit codes are in the main help.
  EXPECT_TRUE(Has(Admin({"--help"}).out, "Exit codes: 0 ok, 1 failure, 2 usage"));
}

TEST_F(ZnAdminConventions, OneTableOfExitCodesAndAnUnknownNameIsThreeEverywhere) {
  ZNPlatformInfo store(0, 0);
  ASSERT_TRUE(store.setString("S", "sName", "x"));
  ASSERT_TRUE(store.setString("S\\Sub", "sDeep", "y"));
  zn::LogSettings::Set("EventManager", "dEVLOGDIR", m_logDir.path());
  std::ofstream(m_dir.file("broken.txt")) << "not an export\n";
  const std::string missing = m_dir.file("missing");

  struct Case {
    std::vector<std::string> args;
    int code;
  };
  const std::vector<Case> cases = {
      {{"config", "get", "~S", "sName"}, zn::test::kOk},
      {{"config", "import", m_dir.file("broken.txt")}, zn::test::kFailure},
      {{"config", "frobnicate"}, zn::test::kUsage},
      {{"config", "get", "~S"}, zn::test::kUsage},
      {{"log", "level", "zntest", "2147483648"}, zn::test::kUsage},
      {{"log", "level", "zntest", "-1"}, zn::test::kUsage},
      {{"log", "tail", "zntest", "--since", "soon"}, zn::test::kUsage},
      {{"log", "tail", "zntest", "--grep", "("}, zn::test::kUsage},
      {{"version", "1.2"}, zn::test::kUsage},
      {{"config", "get", "~S", "sNope"}, zn::test::kValueMissing},
      {{"config", "delete", "~S", "sNope"}, zn::test::kValueMissing},
      {{"config", "delete", "~S"}, zn::test::kRefused},
      // Unknown names of every kind: 3.
      {{"config", "get", "~Nope", "sName"}, zn::test::kNotFound},
      {{"config", "list", "~Nope"}, zn::test::kNotFound},
      {{"config", "export", "~Nope"}, zn::test::kNotFound},
      {{"config", "delete", "~Nope"}, zn::test::kNotFound},
      {{"config", "copy", "~Nope", "~New"}, zn::test::kNotFound},
      {{"config", "import", missing}, zn::test::kNotFound},
      {{"log", "level", "nosuchlog"}, zn::test::kNotFound},
      {{"log", "off", "nosuchlog"}, zn::test::kNotFound},
      {{"log", "tail", "nosuchlog"}, zn::test::kNotFound},
      {{"log", "tail", "zntest", "--dir", missing}, zn::test::kNotFound},
      {{"log", "list", "--dir", missing}, zn::test::kNotFound},
      {{"log", "unzip", missing + ".log.zip"}, zn::test::kNotFound},
      {{"metrics", "tail", "--dir", missing}, zn::test::kNotFound},
      {{"jobs", "show", "999"}, zn::test::kNotFound},
      {{"pool", "show", "nosuchpool"}, zn::test::kNotFound},
      {{"tasks", "list", "Nobody"}, zn::test::kNotFound},
  };
  for (const Case& test : cases) {
    std::vector<std::string> args{"--store", m_store};
    args.insert(args.end(), test.args.begin(), test.args.end());
    const AdminOutcome outcome = Admin(args);
    std::string shown;
    for (const std::string& arg : test.args) shown += arg + " ";
    EXPECT_EQ(outcome.code, test.code) << shown << "\n" << outcome.err;
    if (test.code != zn::test::kOk) {
      // One place prints failures: "znadmin <command>: ..." naming the object.
      EXPECT_TRUE(outcome.err.rfind("znadmin " + test.args[0], 0) == 0) << shown << ": " << outcome.err;
    }
  }
  AdminOutcome run = Config({"get", "~Nope", "sName"});
  EXPECT_EQ(run.err, "znadmin config get: key [" + std::string(zn::test::kInstanceKey) + "\\Nope] does not exist\n");
  run = Admin({"--store", m_store, "jobs", "show", "999"});
  EXPECT_TRUE(run.err.rfind("znadmin jobs show: job [999] is not the running or last job of any application", 0) == 0)
      << run.err;
  // A mistyped command or option is named as such, with where the usage is.
  run = Config({"frobnicate"});
  EXPECT_EQ(run.err, "znadmin config: unknown command [frobnicate] (znadmin config --help shows the usage)\n");
  run = Config({"list", "--recursiv", "~S"});
  EXPECT_EQ(run.code, zn::test::kUsage);
  EXPECT_EQ(run.err, "znadmin config list: unknown option [--recursiv] (znadmin config list --help shows the usage)\n");
  run = Admin({"log", "tail", "nosuchlog"});
  EXPECT_EQ(run.err, "znadmin log tail: log [nosuchlog] is not a log of this suite, nor a file of [" +
                         m_logDir.path() + "]\n");
}

TEST_F(ZnAdminConventions, JsonOutputParsesBackIntoWhatTheTextShows) {
  ZNPlatformInfo store(0, 0);
  ASSERT_TRUE(store.setString("S", "sName", "caf\xc3\xa9 \"quoted\"\n"));
  ASSERT_TRUE(store.setNumber("S", "nCount", 42));
  ASSERT_TRUE(zn::ConfigStore::ForThisThread().writeValue(std::string(zn::test::kInstanceKey) + "\\S", "raw", 3,
                                                          std::string("\xff\x00", 2)) == zn::StoreStatus::kOk);
  ASSERT_TRUE(store.setString("S\\Sub", "sDeep", "y"));
  ASSERT_TRUE(store.setNumber("EventManager", "zntest_DEBUGLEVEL", 5));
  zn::LogSettings::Set("EventManager", "dEVLOGDIR", m_logDir.path());
  EvDebug().Debug("Fn", "a line");

  json data = JsonOf(Config({"get", "~S", "sName", "--json"}));
  EXPECT_EQ(data["value"], "caf\xc3\xa9 \"quoted\"\n");
  EXPECT_EQ(data["type"], "string");
  EXPECT_EQ(data["key"], std::string(zn::test::kInstanceKey) + "\\S");

  data = JsonOf(Config({"list", "-r", "~S", "--json"}));
  ASSERT_EQ(data["keys"].size(), 2u);
  const json& values = data["keys"][0]["values"];
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0]["name"], "nCount");
  EXPECT_EQ(values[0]["value"], 42);
  EXPECT_EQ(values[1]["name"], "raw");
  EXPECT_TRUE(values[1]["value"].is_null());  // no text and no number: only its export form
  EXPECT_EQ(values[1]["text"], "hex(3):ff,00");
  EXPECT_EQ(data["keys"][0]["subkeys"], json::array({"Sub"}));
  // The text form of list is the export's.
  const std::string exported = Config({"export", "~S"}).out;
  for (const json& value : values) EXPECT_TRUE(Has(exported, "=" + value["text"].get<std::string>() + "\n")) << value;

  data = JsonOf(Admin({"log", "level", "zntest", "--json"}));
  EXPECT_EQ(data["level"], 5);
  EXPECT_EQ(data["source"], "store");
  EXPECT_EQ(data["default"], 1);

  data = JsonOf(Admin({"log", "list", "--json"}));
  ASSERT_EQ(data["logs"].size(), 1u) << data;
  EXPECT_EQ(data["logs"][0]["log"], "zntest");
  EXPECT_EQ(data["logs"][0]["level"], 5);
  EXPECT_GT(data["logs"][0]["bytes"].get<long long>(), 0);

  const AdminOutcome tail = Admin({"log", "tail", "zntest", "-n", "1", "--json"});
  ASSERT_EQ(tail.code, 0) << tail.err;
  data = JsonOf(tail);
  EXPECT_EQ(data["function"], "Fn");
  EXPECT_EQ(data["message"], "a line");
  EXPECT_EQ(data["pid"], ::getpid());

  data = JsonOf(Admin({"info", "--json"}));
  EXPECT_EQ(data["instance"], "Instance001");
  EXPECT_TRUE(data["installedPackages"].is_array());
  data = JsonOf(Admin({"version", "7 SP24b", "--json"}));
  EXPECT_EQ(data["servicePack"], 24);
  EXPECT_EQ(data["text"], "7.24b.0");
  data = JsonOf(Admin({"status", "--json"}));
  EXPECT_EQ(data["processes"], json::array());
  data = JsonOf(Admin({"jobs", "list", "--json"}));
  EXPECT_EQ(data["apps"], json::array());
  ASSERT_TRUE(store.setString("PeriodicTasks\\Svc", "Backup_frequency", "*90"));
  data = JsonOf(Admin({"tasks", "list", "--json"}));
  ASSERT_EQ(data["managers"].size(), 1u);
  EXPECT_EQ(data["managers"][0]["source"], "stored");
  EXPECT_EQ(data["managers"][0]["tasks"][0]["stored"]["frequency"], "*90");
  data = JsonOf(Admin({"tasks", "frequency", "Svc", "Backup", "--json"}));
  EXPECT_EQ(data["stored"], 90);
  EXPECT_EQ(data["takenOver"], true);
  EXPECT_TRUE(data["live"].is_null());
}

}  // namespace
