// znadmin config delete: a key with subkeys is deleted only with -r; on a
// terminal a tree is deleted only after a yes (never asked when stdin is
// no terminal); --dry-run lists what would go and deletes nothing.

#include <string>
#include <vector>

#include "config/ZnAdminTestUtil.h"
#include "helpers/TerminalRun.h"

namespace {

using zn::test::Outcome;
using zn::test::TerminalOutcome;
using zn::test::ZnAdmin;

using ZnAdminDelete = ZnAdmin;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// znadmin with its stdin on a terminal; `answer` is typed when it asks.
TerminalOutcome OnTerminal(const std::vector<std::string>& args, const std::string& answer) {
  return zn::test::RunOnTerminal("znadmin", args, {{"[y/N] ", answer}});
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
  TerminalOutcome terminal = OnTerminal({"--store", m_store, "config", "delete", "-r", "~T"}, "n");
  EXPECT_EQ(terminal.code, 5) << terminal.err;
  EXPECT_TRUE(Has(terminal.err, "delete [" + tree + "] and everything below it (3 keys and 3 values)? [y/N] "))
      << terminal.err;
  EXPECT_TRUE(Has(terminal.err, "znadmin config delete: nothing deleted\n")) << terminal.err;
  EXPECT_EQ(zn::test::TreeBelow(tree), before);
  terminal = OnTerminal({"--store", m_store, "config", "delete", "-r", "~T"}, "y");
  EXPECT_EQ(terminal.code, 0) << terminal.err;
  EXPECT_TRUE(zn::test::TreeBelow(tree).empty());

  // Without a terminal nobody is asked; -y skips the question anywhere.
  ASSERT_TRUE(info.setString("T\\A", "sAgain", "x"));
  run = Config({"delete", "-r", "~T"}, "n\n");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(zn::test::TreeBelow(tree).empty());
  ASSERT_TRUE(info.setString("T\\A", "sAgain", "x"));
  terminal = OnTerminal({"--store", m_store, "config", "delete", "-r", "-y", "~T"}, "");
  EXPECT_EQ(terminal.code, 0) << terminal.err;
  EXPECT_FALSE(Has(terminal.err, "[y/N]")) << terminal.err;
  EXPECT_TRUE(zn::test::TreeBelow(tree).empty());

  // A key without subkeys needs neither, and takes its values with it.
  terminal = OnTerminal({"--store", m_store, "config", "delete", "~Leaf"}, "");
  EXPECT_EQ(terminal.code, 0) << terminal.err;
  EXPECT_EQ(terminal.err, "");
  EXPECT_EQ(Config({"get", "~Leaf", "sLeaf"}).code, 3);
}

}  // namespace
