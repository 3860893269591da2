// getenv for a variable asked on every store call. The environment is
// looked at entry by entry only when it has changed since this thread last
// asked: setenv and putenv put a changed value in a new entry, unsetenv
// moves the entries after it down, and a new variable is added at the end,
// so the same entries mean the same answer (names are unique, so their
// order does not matter). A string given to putenv and then written into
// is not seen to change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zn::detail {

class EnvironmentValue {
 public:
  // `assignment` is the variable's name followed by '='; it must outlive
  // the object.
  explicit constexpr EnvironmentValue(std::string_view assignment) : m_assignment(assignment) {}

  // What getenv would answer, or nullptr.
  const char* get();

 private:
  struct Seen {
    char** array = nullptr;
    std::size_t count = 0;
    uintptr_t sum = 0;
  };
  static Seen Look(char** array);

  std::string_view m_assignment;
  Seen m_seen;
  const char* m_value = nullptr;
  bool m_known = false;
};

}  // namespace zn::detail
