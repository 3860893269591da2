// Running a CGetOpt over a vector of texts and recording what each call
// gave, for the option parser's tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "zn/cmdline/CGetOpt.h"

namespace zn::test {

// What one call returned and left behind.
struct GetOptStep {
  int code;
  int optind;
  const char* optarg = nullptr;
  int optopt = 0;
  int valueIndex = -1;
};

// A program name and the given words, as a mutable vector of pointers
// (the parser moves the pointers, never the texts).
class ArgVector {
 public:
  explicit ArgVector(std::vector<const char*> words) {
    m_texts.push_back("prog");
    m_texts.insert(m_texts.end(), words.begin(), words.end());
    for (const std::string& text : m_texts) m_pointers.push_back(const_cast<char*>(text.c_str()));
    m_pointers.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(m_pointers.size()) - 1; }
  char** argv() { return m_pointers.data(); }
  // The words after the program name, in their order now.
  std::vector<std::string> Words() const {
    std::vector<std::string> words;
    for (int i = 1; i < argc(); ++i) words.emplace_back(m_pointers[i]);
    return words;
  }

 private:
  std::vector<std::string> m_texts;
  std::vector<char*> m_pointers;
};

// Sets or clears _POSIX_OPTION_ORDER for one scope.
class PosixOrderScope {
 public:
  explicit PosixOrderScope(bool set) {
    const char* old = ::getenv("_POSIX_OPTION_ORDER");
    if (old != nullptr) m_old = old;
    if (set) {
      ::setenv("_POSIX_OPTION_ORDER", "1", 1);
    } else {
      ::unsetenv("_POSIX_OPTION_ORDER");
    }
  }
  ~PosixOrderScope() {
    if (m_old) {
      ::setenv("_POSIX_OPTION_ORDER", m_old->c_str(), 1);
    } else {
      ::unsetenv("_POSIX_OPTION_ORDER");
    }
  }
  PosixOrderScope(const PosixOrderScope&) = delete;
  PosixOrderScope& operator=(const PosixOrderScope&) = delete;

 private:
  std::optional<std::string> m_old;
};

inline std::string Describe(const char* text) { return text == nullptr ? "(null)" : "\"" + std::string(text) + "\""; }

// Calls `parser` once per expected step and checks each result.
inline void ExpectSteps(CGetOpt& parser, const std::vector<GetOptStep>& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const GetOptStep& want = steps[i];
    const int code = parser();
    SCOPED_TRACE("call " + std::to_string(i + 1));
    EXPECT_EQ(code, want.code);
    EXPECT_EQ(parser.optind, want.optind);
    EXPECT_EQ(Describe(parser.optarg), Describe(want.optarg));
    EXPECT_EQ(parser.optopt, want.optopt);
    EXPECT_EQ(parser.valueIndex, want.valueIndex);
  }
}

}  // namespace zn::test
