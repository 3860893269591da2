// What is installed beside the programs tells the truth about them: the
// man pages render cleanly and name every command and option the program
// has, the exit-code table is the same in the man page, the guide and the
// program's help, and the bash completion offers what the program accepts.

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "admin/AdminTestUtil.h"
#include "helpers/TempDir.h"

namespace {

using zn::test::AdminOutcome;
using zn::test::Has;
using zn::test::RunAdmin;
using zn::test::RunProgram;

const std::string kSource = ZN_SOURCE_DIR;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The page as plain text, one paragraph a line where it fits, unhyphenated.
std::string Rendered(const std::string& page) {
  const AdminOutcome run = RunProgram("/usr/bin/groff", {"-man", "-Tascii", "-P-cbu", "-rHY=0", "-rLL=250n", page});
  EXPECT_EQ(run.code, 0) << run.err;
  return run.out;
}

// Every command of znadmin ("config get", ...), through the help texts.
std::vector<std::vector<std::string>> CommandTree() {
  std::vector<std::vector<std::string>> all;
  std::deque<std::vector<std::string>> pending{{}};
  while (!pending.empty()) {
    std::vector<std::string> command = pending.front();
    pending.pop_front();
    all.push_back(command);
    std::vector<std::string> args = command;
    args.push_back("--help");
    for (const std::string& sub : zn::test::Subcommands(RunAdmin(args).out)) {
      std::vector<std::string> deeper = command;
      deeper.push_back(sub);
      pending.push_back(deeper);
    }
  }
  return all;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

// The option names ("-n", "--lines") of a help text, but --help.
std::set<std::string> OptionNames(const std::string& help) {
  std::set<std::string> names;
  std::istringstream lines(help);
  bool listing = false;
  for (std::string line; std::getline(lines, line);) {
    if (line == "Options:") {
      listing = true;
      continue;
    }
    if (!listing) continue;
    if (line.empty() || line[0] != ' ') break;
    if (line.size() < 3 || line[2] != '-') continue;  // a description's own line
    std::string column = line.substr(2);
    column = column.substr(0, column.find(' '));
    std::istringstream parts(column);
    for (std::string name; std::getline(parts, name, ',');) {
      if (name != "-h" && name != "--help") names.insert(name);
    }
  }
  return names;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(ZnAdminManual, ManPagesRenderCleanlyAndNameEveryCommandAndOption) {
  for (const char* page : {"/docs/man/znadmin.1", "/docs/man/zndemo.1"}) {
    // -ww: every warning; -z: no output, only the check.
    const AdminOutcome run = RunProgram("/usr/bin/groff", {"-man", "-Tutf8", "-ww", "-z", kSource + page});
    EXPECT_EQ(run.code, 0) << page;
    EXPECT_EQ(run.err, "") << page;
  }
  const std::string manual = Rendered(kSource + "/docs/man/znadmin.1");
  const std::string guide = ReadFile(kSource + "/docs/znadmin.md");
  for (const std::vector<std::string>& command : CommandTree()) {
    const std::string name = Joined(command);
    if (!name.empty()) {
      EXPECT_TRUE(Has(manual, name)) << "the man page does not name [" << name << "]";
      EXPECT_TRUE(Has(guide, name)) << "docs/znadmin.md does not name [" << name << "]";
    }
    std::vector<std::string> args = command;
    args.push_back("--help");
    for (const std::string& option : OptionNames(RunAdmin(args).out)) {
      EXPECT_TRUE(Has(manual, option)) << "the man page does not name option [" << option << "] of [znadmin " << name
                                       << "]";
    }
  }

  const std::string demo = Rendered(kSource + "/docs/man/zndemo.1");
  for (const std::string& option : OptionNames(RunProgram("zndemo", {"--help"}).out)) {
    EXPECT_TRUE(Has(demo, option)) << "the zndemo man page does not name option [" << option << "]";
  }
}

// One entry of each table: the code and the text that explains it.
using CodeTable = std::map<int, std::string>;

TEST(ZnAdminManual, OneExitCodeTableInTheManPageTheGuideAndTheHelp) {
  // The man page: ".TP", ".B <code>", then its text up to the next entry.
  const std::string page = ReadFile(kSource + "/docs/man/znadmin.1");
  const auto section = page.find(".SH EXIT STATUS");
  ASSERT_NE(section, std::string::npos);
  const std::string exitStatus = page.substr(section, page.find("\n.SH ", section + 1) - section);
  CodeTable manual;
  const std::regex entry(R"(\.TP\n\.B (\d+)\n((?:[^.][^\n]*\n|\.B[R]? [^\n]*\n)*))");
  for (std::sregex_iterator at(exitStatus.begin(), exitStatus.end(), entry), end; at != end; ++at) {
    manual[std::stoi((*at)[1])] = Lower((*at)[2]);
  }
  // The guide: "| <code> | <meaning> |".
  CodeTable guide;
  const std::string markdown = ReadFile(kSource + "/docs/znadmin.md");
  const std::regex row(R"(\n\| (\d+) \| ([^\n]*) \|)");
  for (std::sregex_iterator at(markdown.begin(), markdown.end(), row), end; at != end; ++at) {
    guide[std::stoi((*at)[1])] = Lower((*at)[2]);
  }
  // The help's footer: "<code> <meaning>," in one sentence.
  CodeTable help;
  const std::string footer = RunAdmin({"--help"}).out;
  const auto codes = footer.find("Exit codes:");
  ASSERT_NE(codes, std::string::npos);
  const std::string sentence = footer.substr(codes, footer.find(".\n", codes) - codes);
  const std::regex item(R"((\d) ([a-z][a-z ]*))");
  for (std::sregex_iterator at(sentence.begin(), sentence.end(), item), end; at != end; ++at) {
    help[std::stoi((*at)[1])] = (*at)[2];
  }

  // The codes the tests use (AdminTestUtil.h), with a word each table must
  // give for them.
  const std::map<int, std::string> expected = {{zn::test::kOk, "done"},        {zn::test::kFailure, "fail"},
                                               {zn::test::kUsage, "usage"},    {zn::test::kNotFound, "not found"},
                                               {zn::test::kValueMissing, "value missing"},
                                               {zn::test::kRefused, "refused"}};
  for (const auto& [name, table] : {std::pair<const char*, CodeTable&>{"man page", manual}, {"docs/znadmin.md", guide},
                                    {"znadmin --help", help}}) {
    EXPECT_EQ(table.size(), expected.size()) << name;
    for (const auto& [code, word] : expected) {
      ASSERT_EQ(table.count(code), 1u) << name << " lacks code " << code;
      if (code == zn::test::kOk && &table == &help) continue;  // the footer says "ok"
      EXPECT_TRUE(Has(table.at(code), word)) << name << ", code " << code << ": " << table.at(code);
    }
  }
  EXPECT_EQ(help.at(zn::test::kOk), "ok");
}

// What the completion offers for the words of a command line; the last
// word is the one being completed.
std::vector<std::string> Complete(const std::vector<std::string>& words) {
  std::string script = "source '" + kSource + "/tools/znadmin/znadmin.bash-completion'\nCOMP_WORDS=(\"$ZNADMIN\"";
  for (const std::string& word : words) script += " '" + word + "'";
  script += ")\nCOMP_CWORD=" + std::to_string(words.size()) + "\n_znadmin\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
  const AdminOutcome run =
      RunProgram("/bin/bash", {"--norc", "-c", script}, "", {{"ZNADMIN", zn::test::ProgramBesideTests("znadmin")}});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> offered;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) offered.push_back(line);
  }
  return offered;
}

using Words = std::vector<std::string>;

TEST(ZnAdminManual, BashCompletionOffersTheCommandsOptionsAndChoicesOfTheProgram) {
  EXPECT_EQ(Complete({""}), Words({"config", "faults", "info", "jobs", "log", "metrics", "host", "guid", "time", "path",
                                   "pool", "proc", "shm", "status", "tasks", "token", "version"}));
  // Global options and their values are stepped over.
  EXPECT_EQ(Complete({"--store", "/tmp/some.db", "--instance", "I1", "lo"}), Words({"log"}));
  EXPECT_EQ(Complete({"config", "de"}), Words({"delete"}));
  EXPECT_EQ(Complete({"log", "t"}), Words({"tail"}));
  const Words tail = Complete({"log", "tail", "zndemo", "--"});
  for (const char* option : {"--lines", "--follow", "--since", "--level", "--grep", "--dir", "--json"}) {
    EXPECT_NE(std::find(tail.begin(), tail.end(), option), tail.end()) << option;
  }
  // The choices an option lists in the help.
  EXPECT_EQ(Complete({"config", "set", "~S", "nCount", "1", "--type", "n"}), Words({"number"}));
  // Files and folders where an argument names one.
  zn::test::TempDir dir;
  std::ofstream(dir.file("export.txt")) << "x";
  EXPECT_EQ(Complete({"config", "import", dir.file("exp")}), Words({dir.file("export.txt")}));
  EXPECT_EQ(Complete({"log", "list", "--dir", dir.path()}), Words({dir.path()}));
  // Nothing is made up for a name the program alone knows.
  EXPECT_EQ(Complete({"tasks", "enable", ""}), Words());
}

}  // namespace
