// Shared pieces of the process tests: the helper child's path, counts of
// our descriptors and children (nothing may be left behind), a pipe, and a
// bounded read of a child's output.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "zuzazer/FXUniqueFd.h"

namespace zn::test {

inline const char* ProcessHelper() { return ZN_PROCESS_HELPER; }

inline int CountEntries(const char* folder) {
  DIR* dir = ::opendir(folder);
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
  ::closedir(dir);
  return count - 1;  // the listing's own descriptor
}

// Our descriptors, leaving out those on the store's files: SQLite keeps
// the descriptor of a closed connection open while the file has locks, so
// threads that read the store leave some behind that are not ours.
inline int OpenDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(dir)) continue;
    char target[4096];
    const ssize_t n = ::readlinkat(::dirfd(dir), entry->d_name, target, sizeof target - 1);
    const std::string path(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (path.find(".db") != std::string::npos) continue;
    ++count;
  }
  ::closedir(dir);
  return count;
}

// Our children, living or zombies, from every thread's children list.
inline int ChildCount() {
  DIR* dir = ::opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(std::string("/proc/self/task/") + entry->d_name + "/children");
    std::string pid;
    while (in >> pid) ++count;
  }
  ::closedir(dir);
  return count;
}

// Children can be reaped by a background thread a moment after their
// handles went: wait for the count, bounded.
inline bool ChildCountBecomes(int expected, std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ChildCount() != expected) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

struct TestPipe {
  yq::UniqueFd readEnd;
  yq::UniqueFd writeEnd;
  TestPipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
      readEnd.reset(fds[0]);
      writeEnd.reset(fds[1]);
    }
  }
  void* writeHandle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(writeEnd.get()) + 1); }
  void* readHandle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(readEnd.get()) + 1); }
};

// Everything until the end of the pipe, or what came within `limit`.
inline std::string ReadToEnd(int fd, std::chrono::seconds limit = std::chrono::seconds(60)) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    struct pollfd entry = {fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

// Field 19 of /proc/<pid>/stat: the nice value. The name field may hold
// blanks, so fields count from its closing parenthesis.
inline int NiceOf(unsigned long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 9999;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  for (int i = 3; i <= 19 && (fields >> field); ++i) {
    if (i == 19) return std::stoi(field);
  }
  return 9999;
}

// The fixture of the process tests: the store and log of ConfigTest, the
// log at its most detailed, and no descriptor and no child left behind by
// any test.
class ProcessTest : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    EvDebug().setDebugLevel(10);
    EvDebug().DebugLvl("ProcessTest", 0, "test starts");  // the log file is open from here on
    m_fds = OpenDescriptors();
    m_children = ChildCount();
  }
  void TearDown() override {
    EXPECT_TRUE(ChildCountBecomes(m_children)) << "children left: " << ChildCount();
    EXPECT_EQ(OpenDescriptors(), m_fds);
    ConfigTest::TearDown();
  }

  int m_fds = 0;
  int m_children = 0;
};

}  // namespace zn::test
