// Pieces the znadmin conventions tests share: the fixture with a store of
// the test's own (from the config tests), JSON read back from an outcome,
// and the commands' exit codes by name.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/ZnAdminTestUtil.h"

namespace zn::test {

// The exit codes of docs/znadmin.md.
inline constexpr int kOk = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;
inline constexpr int kNotFound = 3;
inline constexpr int kValueMissing = 4;
inline constexpr int kRefused = 5;

// The outcome's stdout as JSON; a test failure (and null) when it is none.
inline nlohmann::json JsonOf(const AdminOutcome& run) {
  try {
    return nlohmann::json::parse(run.out);
  } catch (const nlohmann::json::exception& error) {
    ADD_FAILURE() << "not JSON (" << error.what() << "): " << run.out << run.err;
    return nullptr;
  }
}

inline std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The subcommands a help text lists.
inline std::vector<std::string> Subcommands(const std::string& help) {
  std::vector<std::string> names;
  std::istringstream lines(help);
  bool listing = false;
  for (std::string line; std::getline(lines, line);) {
    if (line == "Subcommands:") {
      listing = true;
      continue;
    }
    if (!listing) continue;
    if (line.empty() || line[0] != ' ') break;
    std::istringstream words(line);
    std::string name;
    words >> name;
    names.push_back(name);
  }
  return names;
}

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace zn::test
