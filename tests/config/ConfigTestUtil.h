// Shared pieces of the configuration store tests: a fixture with an empty
// store, a process log in a scratch folder and the default focus; raw value
// helpers; and forked children with bounded waits.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zn/store/ConfigStore.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogTesting.h"
#include "znfocus/ZNPI_Focus.h"

namespace zn::test {

inline constexpr const char* kInstanceKey = "SOFTWARE\\Tessaly Systems\\Orvane\\Instance001";

// Deletes every key of the calling thread's store.
inline void EmptyStore() {
  auto& store = zn::ConfigStore::ForThisThread();
  std::vector<std::string> roots;
  if (store.subKeys("", roots) != zn::StoreStatus::kOk) return;
  for (const std::string& root : roots) store.deleteTree(root);
}

// Every key and value below a full path: "<relative path>|" for each key,
// "<relative path>|<name>" -> "<type>:<bytes>" for each value. Empty when
// the key does not exist.
using StoreTree = std::map<std::string, std::string>;

inline StoreTree TreeBelow(const std::string& path, const std::string& relative = std::string()) {
  using zn::StoreStatus;
  auto& store = zn::ConfigStore::ForThisThread();
  StoreTree tree;
  std::vector<zn::StoreEntry> values;
  std::vector<std::string> children;
  if (store.values(path, values) != StoreStatus::kOk || store.subKeys(path, children) != StoreStatus::kOk) return tree;
  tree[relative + "|"] = "";
  for (const auto& value : values) tree[relative + "|" + value.name] = std::to_string(value.type) + ":" + value.data;
  for (const std::string& child : children) tree.merge(TreeBelow(path + "\\" + child, relative + "\\" + child));
  return tree;
}

// Runs `work` on a thread of its own and waits for it: the thread's store
// connection is closed when it ends, so a fork afterwards inherits none.
inline void OnFreshThread(const std::function<void()>& work) { std::thread(work).join(); }

// The type and exact bytes of a value; false (with the code in `code`) when
// it cannot be read.
inline bool ReadRaw(const char* key, const char* name, unsigned long& type, std::string& bytes, int* code = nullptr) {
  ZNPlatformInfo info(0, 0);
  std::string buffer(16, '\0');
  int size = static_cast<int>(buffer.size());
  bool ok = info.getRegValue(key, name, &type, buffer.data(), size);
  if (!ok && info.getRegError() == -4) {
    buffer.assign(static_cast<std::size_t>(size), '\0');
    ok = info.getRegValue(key, name, &type, buffer.data(), size);
  }
  if (code != nullptr) *code = info.getRegError();
  if (!ok) return false;
  bytes.assign(buffer.data(), static_cast<std::size_t>(size));
  return true;
}

inline bool WriteRaw(const char* key, const char* name, unsigned long type, const std::string& bytes) {
  return ZNPlatformInfo(0, 0).setRegValue(key, name, type, bytes.data(), static_cast<int>(bytes.size()));
}

// Sets an environment variable for the scope, restoring the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (m_had) m_old = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (m_had) {
      ::setenv(m_name, m_old.c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  bool m_had = false;
  std::string m_old;
};

// Each test starts with an empty store, the environment's focus and the
// process log "zntest" open in a scratch folder.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("ZN_CRASH_ON_BAD_FOCUS");
    ZNPI_Focus::reload();
    EmptyStore();
    ASSERT_TRUE(EvDebug().initialize(EvDebug::getLogId("zntest"), 0, m_logDir.path().c_str(), false));
  }
  void TearDown() override {
    EvDebug::CleanupFileHandleList();
    zn::testing::ResetDefaultLogInstance();
    ZNPI_Focus::reload();
    EmptyStore();
  }

  std::string LogText() const { return ReadFile(m_logDir.file("zntest.log")); }
  bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }

  TempDir m_logDir;
};

// A forked child running `work`, which returns "" when all went well or a
// description of what did not. The child dies with the parent.
class Child {
 public:
  explicit Child(const std::function<std::string()>& work) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::close(fds[0]);
      std::string failures;
      try {
        failures = work();
      } catch (const std::exception& e) {
        failures = std::string("exception: ") + e.what();
      }
      for (std::size_t done = 0; done < failures.size();) {
        const ssize_t n = ::write(fds[1], failures.data() + done, failures.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::_exit(failures.empty() ? 0 : 1);
    }
    ::close(fds[1]);
    m_output = fds[0];
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (m_pid > 0 && !m_reaped) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0) ::close(m_output);
  }

  pid_t pid() const { return m_pid; }
  int output() const { return m_output; }

  // Waits at most `limit` for the child to end (killing it after that) and
  // returns what it reported; "" only when it exited 0 and reported nothing.
  std::string finish(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
    if (m_pid <= 0) return "fork failed";
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool timedOut = false;
    while (true) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        timedOut = true;
        break;
      }
      struct pollfd fd = {m_output, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(m_output, chunk, sizeof chunk);
      if (n <= 0) break;
      text.append(chunk, static_cast<std::size_t>(n));
    }
    if (timedOut) ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_reaped = true;
    if (timedOut) return "child timed out; said: " + text;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      return "child ended with status " + std::to_string(status) + (text.empty() ? "" : ": " + text);
    }
    return text;
  }

  // Kills the child at once and reaps it; the wait status.
  int kill() {
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_reaped = true;
    return status;
  }

 private:
  pid_t m_pid = -1;
  int m_output = -1;
  bool m_reaped = false;
};

}  // namespace zn::test
