// Named and positional parameters, values that look like paths, duplicate
// names, lookups with and without case, and bad vectors.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zn/cmdline/CCmdLineParser.h"

namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

// Every parameter with its value, in the parser's order.
Params AllOf(CCmdLineParser& parser) {
  Params all;
  for (const std::string& name : parser.getParamList()) {
    std::string value;
    EXPECT_TRUE(parser.getParamValue(name, value)) << name;
    all.emplace_back(name, value);
  }
  return all;
}

TEST(CCmdLineParser, SwitchesValuesAndPositionalParameters) {
  const char* argv[] = {"prog", "-a", "1", "file", "-b", nullptr};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(5, argv));
  EXPECT_EQ(AllOf(parser), (Params{{"a", "1"}, {"b", ""}, {"position_3", "file"}}));
  EXPECT_EQ(parser.getParamCount(), 3);
  EXPECT_EQ(parser.GetErrorString(), "");

  // A switch followed by a switch has no value; '/' introduces one too;
  // the name is everything after the first character.
  const char* more[] = {"prog", "/x", "-y", "--long", "v", "-", "w"};
  CCmdLineParser other;
  ASSERT_TRUE(other.ParseCmdLine(7, more));
  EXPECT_EQ(AllOf(other), (Params{{"", "w"}, {"-long", "v"}, {"x", ""}, {"y", ""}}));

  // "-" and "/" both name the empty parameter: "-" takes "/" as its value
  // and "/" is then the same name again.
  const char* twice[] = {"prog", "-", "/"};
  CCmdLineParser third;
  EXPECT_FALSE(third.ParseCmdLine(3, twice));
  EXPECT_EQ(third.GetErrorString(), "Parameter  already present");
  EXPECT_EQ(AllOf(third), (Params{{"", "/"}}));
}

TEST(CCmdLineParser, AValueThatLooksLikeAPathIsAlsoASwitch) {
  const char* argv[] = {"prog", "-out", "/tmp/x"};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(3, argv));
  EXPECT_EQ(AllOf(parser), (Params{{"out", "/tmp/x"}, {"tmp/x", ""}}));
  // The path switch takes the next word in turn.
  const char* chain[] = {"prog", "-in", "/a", "/b", "c"};
  CCmdLineParser second;
  ASSERT_TRUE(second.ParseCmdLine(5, chain));
  EXPECT_EQ(AllOf(second), (Params{{"a", "/b"}, {"b", "c"}, {"in", "/a"}}));
}

TEST(CCmdLineParser, EmptyWordsArePositionalOrValues) {
  const char* argv[] = {"prog", "", "-k", "", "z"};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(5, argv));
  EXPECT_EQ(AllOf(parser), (Params{{"k", ""}, {"position_1", ""}, {"position_4", "z"}}));
}

TEST(CCmdLineParser, NamesOrderByBytes) {
  const char* argv[] = {"prog", "-b", "-B", "-a", "-\xc3\xa9", "-_"};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(6, argv));
  EXPECT_EQ(parser.getParamList(), (std::vector<std::string>{"B", "_", "a", "b", "\xc3\xa9"}));
}

TEST(CCmdLineParser, ADuplicateNameFailsAndKeepsWhatCameBefore) {
  const char* argv[] = {"prog", "-a", "-x", "1", "-a", "-z"};
  CCmdLineParser parser;
  EXPECT_FALSE(parser.ParseCmdLine(6, argv));
  EXPECT_EQ(parser.GetErrorString(), "Parameter a already present");
  EXPECT_EQ(AllOf(parser), (Params{{"a", ""}, {"x", "1"}}));
  // getParamList clears the error string.
  EXPECT_EQ(parser.GetErrorString(), "");

  // Names are compared exactly: -A is another parameter.
  const char* cased[] = {"prog", "-a", "-A"};
  CCmdLineParser second;
  EXPECT_TRUE(second.ParseCmdLine(3, cased));
  // A positional name can be met again as a switch.
  const char* positional[] = {"prog", "f", "-position_1"};
  CCmdLineParser third;
  EXPECT_FALSE(third.ParseCmdLine(3, positional));
  EXPECT_EQ(third.GetErrorString(), "Parameter position_1 already present");
  // The value from a path switch is also a duplicate when seen twice.
  const char* paths[] = {"prog", "-o", "/p", "-p"};
  CCmdLineParser fourth;
  EXPECT_FALSE(fourth.ParseCmdLine(4, paths));
  EXPECT_EQ(fourth.GetErrorString(), "Parameter p already present");
}

TEST(CCmdLineParser, ASecondParseAddsToTheFirstAndSuccessClearsTheError) {
  const char* first[] = {"prog", "-a"};
  const char* second[] = {"prog", "-b", "2"};
  CCmdLineParser parser;
  ASSERT_FALSE(parser.ParseCmdLine(2, nullptr));
  ASSERT_TRUE(parser.ParseCmdLine(2, first));
  EXPECT_EQ(parser.GetErrorString(), "");
  ASSERT_TRUE(parser.ParseCmdLine(3, second));
  EXPECT_EQ(AllOf(parser), (Params{{"a", ""}, {"b", "2"}}));
  EXPECT_FALSE(parser.ParseCmdLine(2, first));
  EXPECT_EQ(parser.GetErrorString(), "Parameter a already present");
}

TEST(CCmdLineParser, LookupsWithAndWithoutCase) {
  const char* argv[] = {"prog", "-out", "o1", "-Out", "o2", "-Size", "9"};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(7, argv));
  std::string value = "unchanged";
  EXPECT_FALSE(parser.DoesParamExists("OUT"));
  EXPECT_FALSE(parser.getParamValue("OUT", value));
  EXPECT_EQ(value, "unchanged");
  EXPECT_TRUE(parser.DoesParamExists("out"));
  EXPECT_TRUE(parser.DoesParamExistsIgnoreCase("OUT"));
  // "Out" comes before "out" in byte order: the first match wins.
  ASSERT_TRUE(parser.getParamValueIgnoreCase("OUT", value));
  EXPECT_EQ(value, "o2");
  ASSERT_TRUE(parser.getParamValueIgnoreCase("size", value));
  EXPECT_EQ(value, "9");
  EXPECT_FALSE(parser.getParamValueIgnoreCase("siz", value));
  EXPECT_FALSE(parser.DoesParamExistsIgnoreCase(""));
  // Only ASCII letters fold.
  const char* accented[] = {"prog", "-\xc3\xa9"};
  CCmdLineParser other;
  ASSERT_TRUE(other.ParseCmdLine(2, accented));
  EXPECT_TRUE(other.DoesParamExistsIgnoreCase("\xc3\xa9"));
  EXPECT_FALSE(other.DoesParamExistsIgnoreCase("\xc3\x89"));
}

TEST(CCmdLineParser, NullVectorAndNullEntriesFail) {
  CCmdLineParser parser;
  EXPECT_FALSE(parser.ParseCmdLine(3, nullptr));
  EXPECT_EQ(parser.GetErrorString(), "NULL argument supplied");
  EXPECT_EQ(parser.getParamCount(), 0);

  const char* withNull[] = {"prog", "-a", "v", nullptr, "-b"};
  EXPECT_FALSE(parser.ParseCmdLine(5, withNull));
  EXPECT_EQ(parser.GetErrorString(), "NULL argument supplied");
  EXPECT_EQ(AllOf(parser), (Params{{"a", "v"}}));

  // A null entry right after a switch is no value; it fails on its own.
  const char* afterSwitch[] = {"prog", "-k", nullptr};
  CCmdLineParser second;
  EXPECT_FALSE(second.ParseCmdLine(3, afterSwitch));
  EXPECT_TRUE(second.DoesParamExists("k"));

  // argv[0] is never read; nothing to parse is success.
  const char* onlyName[] = {nullptr};
  CCmdLineParser third;
  EXPECT_TRUE(third.ParseCmdLine(1, onlyName));
  EXPECT_TRUE(third.ParseCmdLine(0, onlyName));
  EXPECT_TRUE(third.ParseCmdLine(-4, onlyName));
  EXPECT_EQ(third.getParamCount(), 0);
}

TEST(CCmdLineParser, CopiesAreIndependent) {
  char a[] = "-a";
  char v[] = "1";
  char* argv[] = {a, a, v};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(3, argv));
  CCmdLineParser copy(parser);
  CCmdLineParser assigned;
  assigned = parser;
  EXPECT_FALSE(parser.ParseCmdLine(3, argv));
  EXPECT_EQ(copy.GetErrorString(), "");
  std::string value;
  EXPECT_TRUE(assigned.getParamValue("a", value));
  EXPECT_EQ(value, "1");
  EXPECT_EQ(copy.getParamCount(), 1);
}

TEST(CCmdLineParser, LongWords) {
  const std::string name = "-" + std::string(100000, 'n');
  const std::string value(200000, 'v');
  const char* argv[] = {"prog", name.c_str(), value.c_str()};
  CCmdLineParser parser;
  ASSERT_TRUE(parser.ParseCmdLine(3, argv));
  std::string got;
  ASSERT_TRUE(parser.getParamValueIgnoreCase(std::string(100000, 'N'), got));
  EXPECT_EQ(got, value);
}

}  // namespace
