// A small tmpfs of its own for tests of a full disk, mounted on a fresh
// folder and unmounted when it goes. Mounting needs root (CAP_SYS_ADMIN):
// without it `mounted()` is false and `reason()` says why, for GTEST_SKIP.
#pragma once

#include <cstddef>
#include <string>

namespace zn::test {

class TmpfsMount {
 public:
  explicit TmpfsMount(std::size_t bytes);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool mounted() const { return m_mounted; }
  const std::string& reason() const { return m_reason; }
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }
  // Bytes a process other than root may still write.
  unsigned long long freeBytes() const;

 private:
  std::string m_path;
  bool m_mounted = false;
  std::string m_reason;
};

}  // namespace zn::test
