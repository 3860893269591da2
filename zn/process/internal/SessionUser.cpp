#include "zn/process/internal/SessionUser.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <utmpx.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

constexpr int kErrorNoneMapped = 1332;

bool Runs(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

int FindActiveSessionUser(SessionUser& user) {
  // utmpx's reading position is process-wide.
  static std::mutex utmpLock;
  std::lock_guard<std::mutex> hold(utmpLock);
  ::setutxent();
  long long newest = -1;
  while (const struct utmpx* entry = ::getutxent()) {
    if (entry->ut_type != USER_PROCESS || !Runs(entry->ut_pid)) continue;
    const long long when = static_cast<long long>(entry->ut_tv.tv_sec) * 1000000 + entry->ut_tv.tv_usec;
    if (when <= newest) continue;
    newest = when;
    user.name.assign(entry->ut_user, ::strnlen(entry->ut_user, sizeof entry->ut_user));
    user.sessionId = entry->ut_session;
  }
  ::endutxent();
  return newest < 0 || user.name.empty() ? static_cast<int>(yq::kErrorNotFound) : 0;
}

int AccountOfUser(const std::string& name, zn::LogonAccount& account) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  int rc = 0;
  while ((rc = ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (rc != 0) return static_cast<int>(yq::Win32FromErrno(rc));
  if (found == nullptr) return kErrorNoneMapped;
  account.name = name;
  account.uid = entry.pw_uid;
  account.gid = entry.pw_gid;
  int count = 32;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (::getgrouplist(name.c_str(), entry.pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count) + 1);
    count = static_cast<int>(groups.size());
  }
  groups.resize(static_cast<std::size_t>(count));
  account.groups = std::move(groups);
  return 0;
}

}  // namespace zn::detail
