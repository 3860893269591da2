// The user of the machine's most recent login session, for starts in "the
// logged-on user's session" without a password.
#pragma once

#include <string>

#include "zn/util/ZnLogonUser.h"

namespace zn::detail {

struct SessionUser {
  std::string name;
  int sessionId = 0;
};

// The most recent USER_PROCESS entry of utmp whose process still runs.
// 0, or the Win32 code of the failure (1168 when there is no session).
int FindActiveSessionUser(SessionUser& user);
// The account of `name` from the password and group databases. 0, or the
// Win32 code of the failure (1332 for an unknown name).
int AccountOfUser(const std::string& name, zn::LogonAccount& account);

}  // namespace zn::detail
