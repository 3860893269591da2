#include "zn/util/ZnLogonUser.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn {
namespace {

constexpr const char* kPamService = "login";

struct Conversation {
  std::string user;
  std::string password;
};

// Answers PAM's prompts: the password for a hidden prompt, the name for a
// visible one; messages need no answer. Answers are malloc'd: PAM frees them.
int Converse(int count, const struct pam_message** messages, struct pam_response** responses, void* data) {
  if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
  const auto* conversation = static_cast<const Conversation*>(data);
  auto* answers = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
  if (answers == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const char* text = nullptr;
    switch (messages[i]->msg_style) {
      case PAM_PROMPT_ECHO_OFF: text = conversation->password.c_str(); break;
      case PAM_PROMPT_ECHO_ON: text = conversation->user.c_str(); break;
      default: break;
    }
    if (text == nullptr) continue;
    answers[i].resp = ::strdup(text);
    if (answers[i].resp == nullptr) {
      for (int k = 0; k < i; ++k) {
        if (answers[k].resp != nullptr) {
          ::explicit_bzero(answers[k].resp, std::strlen(answers[k].resp));
          std::free(answers[k].resp);
        }
      }
      std::free(answers);
      return PAM_BUF_ERR;
    }
  }
  *responses = answers;
  return PAM_SUCCESS;
}

struct PamCloser {
  int* status;
  void operator()(pam_handle_t* handle) const { ::pam_end(handle, *status); }
};

CYqError LookUpAccount(const std::string& name, LogonAccount& account) {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
  struct passwd entry {};
  struct passwd* found = nullptr;
  int error;
  while ((error = ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, kErrorLogonFailure, "Unknown user [%s]", name.c_str());
  }
  account.name = name;
  account.uid = entry.pw_uid;
  account.gid = entry.pw_gid;
  int count = 32;
  account.groups.assign(static_cast<std::size_t>(count), 0);
  while (::getgrouplist(name.c_str(), entry.pw_gid, account.groups.data(), &count) < 0) {
    account.groups.assign(static_cast<std::size_t>(count), 0);
  }
  account.groups.resize(static_cast<std::size_t>(count));
  return CYqError::Success();
}

// The thread's own ids: the raw calls, since glibc's wrappers of setgroups
// change every thread of the process.
long SetThreadGroups(const std::vector<gid_t>& groups) {
  return ::syscall(SYS_setgroups, groups.size(), groups.data());
}
uid_t SetThreadFsUid(uid_t uid) { return static_cast<uid_t>(::syscall(SYS_setfsuid, uid)); }
gid_t SetThreadFsGid(gid_t gid) { return static_cast<gid_t>(::syscall(SYS_setfsgid, gid)); }
// setfsuid reports the previous value and never fails outright: an invalid
// id changes nothing and tells the current one.
uid_t ThreadFsUid() { return SetThreadFsUid(static_cast<uid_t>(-1)); }
gid_t ThreadFsGid() { return SetThreadFsGid(static_cast<gid_t>(-1)); }

}  // namespace

CYqError LogonUser(std::string_view user, std::string_view domain, std::string_view password,
                   LogonAccount& account) {
  if (user.empty()) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, kErrorLogonFailure, "No user name");
  }
  Conversation conversation;
  conversation.user.assign(user);
  if (!domain.empty() && domain != ".") conversation.user.append("@").append(domain);
  conversation.password.assign(password);
  struct Wipe {
    std::string& text;
    ~Wipe() { ::explicit_bzero(text.data(), text.size()); }
  } wipe{conversation.password};

  const struct pam_conv conv = {&Converse, &conversation};
  pam_handle_t* raw = nullptr;
  int status = ::pam_start(kPamService, conversation.user.c_str(), &conv, &raw);
  if (status != PAM_SUCCESS) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, kErrorLogonFailure, "Cannot start PAM for [%s]: %s",
                                   conversation.user.c_str(), ::pam_strerror(raw, status));
  }
  std::unique_ptr<pam_handle_t, PamCloser> handle(raw, PamCloser{&status});
  status = ::pam_authenticate(raw, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (status == PAM_SUCCESS) status = ::pam_acct_mgmt(raw, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (status != PAM_SUCCESS) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, kErrorLogonFailure, "Logon of [%s] refused: %s",
                                   conversation.user.c_str(), ::pam_strerror(raw, status));
  }
  // PAM may have mapped the name (pam_sss and the like); ask for the final one.
  const void* finalName = nullptr;
  std::string name = conversation.user;
  if (::pam_get_item(raw, PAM_USER, &finalName) == PAM_SUCCESS && finalName != nullptr) {
    name = static_cast<const char*>(finalName);
  }
  return LookUpAccount(name, account);
}

CYqError ThreadFileIdentity::Impersonate(const LogonAccount& account) {
  Revert();
  const uid_t savedUid = ThreadFsUid();
  const gid_t savedGid = ThreadFsGid();
  std::vector<gid_t> savedGroups(static_cast<std::size_t>(::getgroups(0, nullptr) > 0 ? ::getgroups(0, nullptr) : 0));
  if (!savedGroups.empty()) {
    const int count = ::getgroups(static_cast<int>(savedGroups.size()), savedGroups.data());
    savedGroups.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  }
  // Groups first and the uid last: once the uid is the user's, the thread
  // may no longer change the others.
  if (SetThreadGroups(account.groups) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot take the groups of [%s]", account.name.c_str());
  }
  SetThreadFsGid(account.gid);
  SetThreadFsUid(account.uid);
  if (ThreadFsGid() != account.gid || ThreadFsUid() != account.uid) {
    SetThreadFsUid(savedUid);
    SetThreadFsGid(savedGid);
    SetThreadGroups(savedGroups);
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorAccessDenied, "Cannot act as [%s]",
                                   account.name.c_str());
  }
  m_active = true;
  m_savedUid = savedUid;
  m_savedGid = savedGid;
  m_savedGroups = std::move(savedGroups);
  return CYqError::Success();
}

void ThreadFileIdentity::Revert() {
  if (!m_active) return;
  SetThreadFsUid(m_savedUid);
  SetThreadFsGid(m_savedGid);
  SetThreadGroups(m_savedGroups);
  m_active = false;
}

}  // namespace zn
