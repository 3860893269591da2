// A directory walk over a real tree that descends only where the matcher's
// next-component hint says a match is still possible finds exactly the
// files that matching every file finds, and skips folders doing it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "helpers/TempDir.h"
#include "zn/pathmatch/TPathMatch.h"

namespace {

namespace fs = std::filesystem;

bool StartsWith(const std::string& text, const std::string& prefix, bool fold) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    char b = prefix[i];
    if (fold) {
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    }
    if (a != b) return false;
  }
  return true;
}

class Walker {
 public:
  explicit Walker(TPathMatch& matcher) : m_matcher(matcher) {}

  void walk(const std::string& folder) {
    ++visited;
    // What the folder's own match says about the names below it.
    TBasenameType type = BASENAME_NONE;
    std::string next;
    if (m_matcher.match(folder.c_str()) == 1) {
      type = m_matcher.isRecursiveMatch() ? BASENAME_ANY : BASENAME_NONE;
    } else {
      type = m_matcher.getNextBasename(next);
    }
    const bool fold = !m_matcher.getCaseSensitivity();
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      const bool wanted = type == BASENAME_ANY || (type == BASENAME_WILDCARD && StartsWith(name, next, fold)) ||
                          (type == BASENAME_LITERAL && name.size() == next.size() && StartsWith(name, next, fold));
      if (!wanted) continue;
      const std::string path = entry.path().string();
      if (entry.is_directory()) {
        walk(path);
      } else if (m_matcher.match(path.c_str()) == 1) {
        found.insert(path);
      }
    }
  }

  std::set<std::string> found;
  int visited = 0;

 private:
  TPathMatch& m_matcher;
};

class PathMatchWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* file : {"Users/bob/AppData/Local/cache/x.tmp", "Users/bob/AppData/Local/y.dat",
                             "Users/bob/AppData/Roaming/z.doc", "Users/bob/Documents/a.doc",
                             "Users/bob/Documents/b.tmp", "Users/bob/Documents/Mail/1.eml",
                             "Users/bob/Documents/Mail/2.eml", "Users/alice/Documents/a.doc",
                             "Users/alice/Documents/ab.doc", "Users/alice/AppData/Local/cache/q.tmp",
                             "Users/Carol/Documents/Mail/3.eml", "Data/Mail/inbox.eml",
                             "Data/Archive/2020/Mail/old.eml", "Data/Archive/2021/Mail/new.txt", "Data/notes.txt",
                             "cache/c1.tmp", "Mail/top.eml", "Mail/sub/deep.eml"}) {
      const fs::path path = fs::path(m_root.path()) / file;
      fs::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_root.path())) {
      if (entry.is_directory()) ++m_folders;
    }
  }

  // Walks with `pattern` below the root and checks the result against
  // matching every file; returns the folders the walk visited.
  int check(const std::string& pattern, bool fold = false) {
    TPathMatch matcher;
    matcher.setDelimiter('/');
    matcher.setEscape('\\');
    if (fold) matcher.caseInsensitive();
    EXPECT_EQ(matcher.initialize((m_root.path() + pattern).c_str(), true, false), 0) << pattern;
    std::set<std::string> everything;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_root.path())) {
      if (!entry.is_directory() && matcher.match(entry.path().c_str()) == 1) everything.insert(entry.path());
    }
    Walker walker(matcher);
    walker.walk(m_root.path());
    EXPECT_EQ(walker.found, everything) << pattern;
    EXPECT_FALSE(everything.empty()) << pattern;
    return walker.visited;
  }

  zn::test::TempDir m_root;
  int m_folders = 0;  // below the root
};

// The folder counts follow from the tree (27 folders with the root): a
// recursive filter over everything visits them all, the others only the
// folders on the way to their matches and the siblings a wildcard allows.
TEST_F(PathMatchWalk, HintsLeadToEveryMatchAndAwayFromTheRest) {
  ASSERT_EQ(m_folders + 1, 27);
  EXPECT_EQ(check("/**/*.tmp"), 27);
  EXPECT_EQ(check("/Users/*/AppData/**"), 12);
  EXPECT_EQ(check("/Users/b*/Documents/Mail/*"), 5);
  EXPECT_EQ(check("/Data/**/Mail/*.eml"), 8);
  EXPECT_EQ(check("/*/Mail/*"), 6);
  EXPECT_EQ(check("/Users/alice/Documents/a.doc"), 4);
  EXPECT_EQ(check("/Users/[ab]*/Documents/?.doc"), 8);
  EXPECT_EQ(check("/users/CAROL/**", true), 5);
  EXPECT_EQ(check("/Mail/**"), 3);
  EXPECT_EQ(check("/Users/bob/AppData/\\L*/cache/*"), 6);
}

}  // namespace
