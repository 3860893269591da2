// znadmin path match run as the administrator runs it: the text and JSON
// answers per path, the matcher's options, and a refused pattern.

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "helpers/AdminRunner.h"

namespace {

using zn::test::RunAdmin;

TEST(PathAdmin, ShowsMatchAndNextComponentPerPath) {
  const auto run = RunAdmin({"path", "match", R"(C:\Data\**\*.doc)", R"(C:\Data\a.doc)", R"(C:\Data)", R"(D:\x)",
                             R"(C:\Data\x\y.txt)"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "C:\\Data\\a.doc: match (recursive)\n"
            "C:\\Data: no match, next component: any\n"
            "D:\\x: no match, next component: none\n"
            "C:\\Data\\x\\y.txt: no match, next component: any\n");

  const auto hints = RunAdmin({"path", "match", R"(C:\Users\*\AppData\**)", R"(C:\Users\bob)",
                               R"(C:\Users\bob\AppData\Local)", R"(C:\Users\M*)"});
  ASSERT_EQ(hints.code, 0) << hints.err;
  EXPECT_EQ(hints.out,
            "C:\\Users\\bob: no match, next component: [AppData] (literal)\n"
            "C:\\Users\\bob\\AppData\\Local: match (and everything below)\n"
            "C:\\Users\\M*: no match, next component: [AppData] (literal)\n");
}

TEST(PathAdmin, JsonForScripts) {
  const auto run = RunAdmin({"path", "match", "--json", R"(C:\Data\M*\x)", R"(C:\Data)", "C:\\Data\\Mail\\x"});
  ASSERT_EQ(run.code, 0) << run.err;
  using Json = nlohmann::json;
  const Json expected = {
      {"pattern", R"(C:\Data\M*\x)"},
      {"results",
       {{{"path", R"(C:\Data)"},
         {"match", false},
         {"recursive", false},
         {"matchEverything", false},
         {"literal", true},
         {"next", {{"type", 1}, {"kind", "begins with"}, {"text", "M"}}}},
        {{"path", "C:\\Data\\Mail\\x"},
         {"match", true},
         {"recursive", false},
         {"matchEverything", false},
         {"literal", false},
         {"next", {{"type", 0}, {"kind", "none"}, {"text", ""}}}}}}};
  EXPECT_EQ(Json::parse(run.out), expected) << run.out;
}

TEST(PathAdmin, MatcherOptions) {
  auto run = RunAdmin({"path", "match", "--literal", R"(C:\a*b)", R"(C:\a*b)", R"(C:\axb)"});
  EXPECT_EQ(run.out, "C:\\a*b: match\nC:\\axb: no match, next component: none\n");
  run = RunAdmin({"path", "match", "-i", R"(C:\DATA\*)", R"(c:\data\file)"});
  EXPECT_EQ(run.out, "c:\\data\\file: match\n");
  run = RunAdmin({"path", "match", "--last-component", R"(C:\[x]\*.doc)", R"(C:\[x]\a.doc)", R"(C:\x\a.doc)"});
  EXPECT_EQ(run.out, "C:\\[x]\\a.doc: match\nC:\\x\\a.doc: no match, next component: none\n");
  run = RunAdmin({"path", "match", "--unc", R"(\\srv\share\*)", R"(\\srv\share\x)", R"(\\srv)"});
  EXPECT_EQ(run.out, "\\\\srv\\share\\x: match\n\\\\srv: no match, next component: [share] (literal)\n");
  run = RunAdmin({"path", "match", "--delimiter", "/", "--escape", "\\", "/home/*/mail", "/home/bob/mail", "/home"});
  EXPECT_EQ(run.out, "/home/bob/mail: match\n/home: no match, next component: any\n");
  EXPECT_EQ(run.code, 0);
}

TEST(PathAdmin, RefusedPatternsAndUsage) {
  auto run = RunAdmin({"path", "match", "--last-component", "*.doc", "x.doc"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "znadmin path match: the pattern [*.doc] (5 bytes) is refused: pattern contains no delimiter 0x5C\n");
  run = RunAdmin({"path", "match", "x\\?\xff", "x"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("is refused: initialize: source exhausted converting to Unicode"), std::string::npos)
      << run.err;
  run = RunAdmin({"path", "match", std::string(1026, 'a'), "a"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("(1026 bytes) is refused: pattern too long (path buffer overrun 1)"), std::string::npos)
      << run.err;
  EXPECT_EQ(RunAdmin({"path", "match", "--delimiter", "ab", "x", "y"}).code, 2);
  EXPECT_EQ(RunAdmin({"path", "match", "x"}).code, 2);
  EXPECT_EQ(RunAdmin({"path"}).code, 2);
}

}  // namespace
