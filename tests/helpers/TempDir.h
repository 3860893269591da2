// Temporary folders for tests, removed with everything in them.
#pragma once

#include <string>

namespace zn::test {

// The per-process scratch root that TestMain creates (and removes at exit).
const std::string& ScratchRoot();

class TempDir {
 public:
  // A new, empty folder below the scratch root.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() joined with `name`.
  std::string file(const std::string& name) const;

 private:
  std::string m_path;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The shared state files a test's log writers left under /dev/shm for the
// log files below `folder`: removed so test runs leave nothing behind.
void RemoveLogSharedState(const std::string& folder);
// The change counters of the store files below `folder`, likewise.
void RemoveStoreSharedState(const std::string& folder);

}  // namespace zn::test
