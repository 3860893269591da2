// Logging a user on, and acting as that user for the file accesses of the
// calling thread: the suite's logon and impersonation. The logon is PAM's
// (service "login"); acting as the user sets the thread's file-system uid,
// gid and groups, which only that thread sees and which need root.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zuzazer/CYqError.h"

namespace zn {

// The Win32 code of a refused logon: unknown user or wrong password.
inline constexpr uint32_t kErrorLogonFailure = 1326;

struct ZN_EXPORT LogonAccount {
  std::string name;  // the name PAM authenticated
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // every group of the user, its own first
};

// Authenticates `user` with `password` and checks that the account may be
// used now (PAM's authentication and account steps). A domain that is empty
// or "." means this machine; any other names the user as "user@domain", as
// directory services on Linux know domain users. A refusal is 1326 with
// PAM's reason in the text; the password is wiped from our copies.
ZN_EXPORT CYqError LogonUser(std::string_view user, std::string_view domain, std::string_view password,
                             LogonAccount& account);

// The calling thread's file accesses as another account, until Revert or
// the end of the scope. Other threads keep their own identity.
class ZN_EXPORT ThreadFileIdentity {
 public:
  ThreadFileIdentity() = default;
  ~ThreadFileIdentity() { Revert(); }
  ThreadFileIdentity(const ThreadFileIdentity&) = delete;
  ThreadFileIdentity& operator=(const ThreadFileIdentity&) = delete;

  // Fails with 5 (and changes nothing) when the thread may not take the
  // account's identity, as without root.
  CYqError Impersonate(const LogonAccount& account);
  void Revert();
  bool IsImpersonating() const { return m_active; }

 private:
  bool m_active = false;
  uid_t m_savedUid = 0;
  gid_t m_savedGid = 0;
  std::vector<gid_t> m_savedGroups;
};

}  // namespace zn
