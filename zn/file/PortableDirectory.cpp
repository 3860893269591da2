#include "zn/file/PortableDirectory.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "zn/file/internal/FileErrors.h"
#include "zn/log/EvDebug.h"
#include "zn/util/ZnLogonUser.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXString.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr int kListingNotFound = 2;
constexpr int kListingAccessDenied = 13;

// The listing's codes: a missing path (or one that is not a folder) is 2,
// access refused is 13, anything else the Win32 code.
int ListingError(int errnum) {
  switch (errnum) {
    case ENOENT:
    case ENOTDIR: return kListingNotFound;
    case EACCES:
    case EPERM: return kListingAccessDenied;
    default: return static_cast<int>(yq::Win32FromErrno(errnum, true));
  }
}

// The folder a listing path names: a trailing '/' or '\' is the same
// folder. An inner '\' is a character of a name here.
std::string FolderOf(std::string_view path) {
  if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  return std::string(path);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Narrow(const wchar_t* text) { return text != nullptr ? FXString::ToString(text) : std::string(); }

}  // namespace

PortableDirectory::PortableDirectory(const char* path) : m_path(path != nullptr ? path : "") {}

bool PortableDirectory::init(bool /*reserved*/) {
  m_search.reset();
  m_path.clear();
  m_searchPath.clear();
  m_firstPending = m_enumerationOpen = m_existsButEmpty = false;
  m_lastError = 0;
  return true;
}

bool PortableDirectory::initGettingChildInfos(const char* path, bool /*reserved*/) {
  m_search.reset();
  m_enumerationOpen = m_existsButEmpty = m_firstPending = false;
  if (path != nullptr) m_path = path;
  if (m_path.empty() || m_path.size() > kMaxNameLength) {
    m_lastError = m_path.empty() ? kListingNotFound : static_cast<int>(yq::kErrorFilenameExcedRange);
    return false;
  }
  m_searchPath = FolderOf(m_path);
  yq::UniqueDir search(::opendir(m_searchPath.c_str()));
  if (!search) {
    const int error = errno;
    if (error == ENOENT && IsFolder(m_searchPath)) {
      m_existsButEmpty = m_enumerationOpen = true;
      m_lastError = 0;
      return true;
    }
    m_lastError = ListingError(error);
    return false;
  }
  m_search = std::move(search);
  m_enumerationOpen = m_firstPending = true;
  m_lastError = 0;
  return true;
}

bool PortableDirectory::getNextChildInfo(char* name, long long* size, long long* modified, bool* isDir, int* error,
                                         bool* endReached) {
  if (name != nullptr) name[0] = '\0';
  if (size != nullptr) *size = 0;
  if (modified != nullptr) *modified = 0;
  if (isDir != nullptr) *isDir = false;
  if (error != nullptr) *error = 0;
  if (endReached != nullptr) *endReached = false;
  if (name == nullptr || size == nullptr || modified == nullptr || isDir == nullptr || error == nullptr ||
      endReached == nullptr) {
    m_lastError = -1;
    return false;
  }
  if (!m_enumerationOpen) {
    m_lastError = -1;
    *error = -1;
    EvDebug().Debug("PortableDirectory::getNextChildInfo", "open failed for [%s], errcode [%d]",
                    zn::detail::PrintableName(m_path).c_str(), m_lastError);
    return false;
  }
  m_firstPending = false;
  if (m_existsButEmpty) {
    *endReached = true;
    m_lastError = 0;
    return true;
  }
  errno = 0;
  const struct dirent* entry = ::readdir(m_search.get());
  if (entry == nullptr) {
    if (errno == 0) {
      *endReached = true;
      m_lastError = 0;
      return true;
    }
    m_lastError = static_cast<int>(yq::Win32FromErrno(errno));
    *error = m_lastError;
    EvDebug().Debug("PortableDirectory::getNextChildInfo", "open failed for [%s], errcode [%d]",
                    zn::detail::PrintableName(m_path).c_str(), m_lastError);
    return false;
  }
  const std::size_t length = ::strnlen(entry->d_name, kMaxNameLength);
  std::memcpy(name, entry->d_name, length);
  name[length] = '\0';
  struct stat st {};
  // Relative to the open folder: the child of the folder listed, even if
  // the path now names another. Links are followed.
  if (::fstatat(::dirfd(m_search.get()), entry->d_name, &st, 0) != 0) {
    m_lastError = static_cast<int>(yq::Win32FromErrno(errno));
    *error = m_lastError;
    name[0] = '.';
    return true;
  }
  *size = static_cast<long long>(st.st_size);
  *modified = static_cast<long long>(st.st_mtim.tv_sec);
  *isDir = S_ISDIR(st.st_mode);
  m_lastError = 0;
  return true;
}

bool PortableDirectory::closeGettingChildInfos() {
  if (!m_enumerationOpen) {
    m_lastError = -1;
    return false;
  }
  m_search.reset();
  m_enumerationOpen = m_existsButEmpty = m_firstPending = false;
  return true;
}

bool PortableDirectory::create(const char* path, const wchar_t* user, const wchar_t* domain,
                               const wchar_t* password) {
  if (path == nullptr || path[0] == '\0') {
    m_lastError = -1;
    return false;
  }
  if (user == nullptr || user[0] == L'\0') return createLevels(path);

  std::string secret = Narrow(password);
  zn::LogonAccount account;
  const CYqError logon = zn::LogonUser(Narrow(user), Narrow(domain), secret, account);
  ::explicit_bzero(secret.data(), secret.size());
  if (logon.IsError()) {
    EvDebug().Error("PortableDirectory::create", "Failed to Logon as ER user.");
    m_lastError = static_cast<int>(logon.GetErrorCode());
    return false;
  }
  zn::ThreadFileIdentity identity;
  const CYqError impersonation = identity.Impersonate(account);
  if (impersonation.IsError()) {
    EvDebug().Error("PortableDirectory::create", "Failed to Impersonate ER user.");
    m_lastError = static_cast<int>(impersonation.GetErrorCode());
    return false;
  }
  return createLevels(path);
}

bool PortableDirectory::createLevels(const std::string& path) {
  if (path.size() > kMaxNameLength) {
    m_lastError = static_cast<int>(yq::kErrorFilenameExcedRange);
    return false;
  }
  // From the root (or the working folder) down, one level at a time.
  std::string level = path.front() == '/' ? "/" : "";
  std::size_t start = 0;
  bool refused = false;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view component(path.data() + start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    level = FXPath::Append(level, component);
    if (::mkdir(level.c_str(), 0777) == 0) continue;
    const int error = errno;
    // Existing, or refused (a level we may not write, above the part we
    // create): counted as made, as the Windows original counts them.
    if (error == EACCES || error == EPERM) refused = true;
    if (error == EEXIST || error == EACCES || error == EPERM) continue;
    m_lastError = static_cast<int>(yq::Win32FromErrno(error, true));
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    m_lastError = static_cast<int>(refused ? yq::kErrorAccessDenied : yq::Win32FromErrno(errno, true));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    m_lastError = static_cast<int>(yq::kErrorAlreadyExists);
    return false;
  }
  m_lastError = 0;
  return true;
}
