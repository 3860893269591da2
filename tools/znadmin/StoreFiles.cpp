#include "StoreFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "StoreText.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::admin {
namespace {

using yq::UniqueFd;

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool IsStoreFile(const std::string& path, const std::string& store) {
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) return false;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    struct stat own {};
    if (::stat((store + suffix).c_str(), &own) == 0 && SameFile(own, target)) return true;
  }
  return false;
}

bool ReadExportText(const std::string& path, std::string& text, std::string& error) {
  text.clear();
  UniqueFd owned;
  int fd = STDIN_FILENO;
  if (path != "-") {
    owned.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!owned) {
      error = "cannot read [" + path + "]: " + yq::ErrnoText(errno);
      return false;
    }
    fd = owned.get();
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    error = "[" + path + "] is a folder, not an export";
    return false;
  }
  std::size_t lineStart = 0;
  char chunk[64 * 1024];
  while (true) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = "cannot read [" + path + "]: " + yq::ErrnoText(errno);
      return false;
    }
    if (n == 0) return true;
    const std::size_t before = text.size();
    if (before + static_cast<std::size_t>(n) > kMaxTextBytes) {
      error = "[" + path + "] is larger than " + std::to_string(kMaxTextBytes) + " bytes, more than any export";
      return false;
    }
    text.append(chunk, static_cast<std::size_t>(n));
    for (std::size_t at = text.find('\n', before); at != std::string::npos; at = text.find('\n', at + 1)) {
      lineStart = at + 1;
    }
    if (text.size() - lineStart > kMaxLineBytes) {
      error = "[" + path + "] holds a line longer than " + std::to_string(kMaxLineBytes) + " bytes, not an export";
      return false;
    }
  }
}

StoreOutputFile::StoreOutputFile(std::string target, const std::string& store) : m_target(std::move(target)) {
  struct stat own {};
  const bool known = ::stat(store.c_str(), &own) == 0;
  mode_t mode = known ? (own.st_mode & 0777) : 0600;
  const std::string folder = FXPath::GetDirectory(m_target);
  m_temporary = FXPath::Append(folder.empty() ? "." : folder,
                               "." + FXPath::GetFileName(m_target) + "." + std::to_string(::getpid()) + ".tmp");
  m_fd.reset(::open(m_temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!m_fd) {
    m_error = "cannot create [" + m_temporary + "]: " + yq::ErrnoText(errno);
    m_temporary.clear();
    return;
  }
  // The group the store grants its bits to; when the file cannot be given
  // to that group, the group gets nothing rather than another group the
  // store never named.
  if (known && ::fchown(m_fd.get(), static_cast<uid_t>(-1), own.st_gid) != 0) mode &= ~static_cast<mode_t>(070);
  if (::fchmod(m_fd.get(), mode) != 0) m_error = "cannot protect [" + m_temporary + "]: " + yq::ErrnoText(errno);
}

StoreOutputFile::~StoreOutputFile() {
  if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
}

bool StoreOutputFile::write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(m_fd.get(), text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      m_error = "cannot write [" + m_target + "]: " + yq::ErrnoText(errno);
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool StoreOutputFile::commit(bool replace) {
  if (!m_error.empty()) return false;
  if (::fsync(m_fd.get()) != 0 || m_fd.close() != 0) {
    m_error = "cannot write [" + m_target + "]: " + yq::ErrnoText(errno);
    return false;
  }
  if (::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(), replace ? 0 : RENAME_NOREPLACE) != 0) {
    m_error = errno == EEXIST ? "[" + m_target + "] exists; --force replaces it"
                              : "cannot write [" + m_target + "]: " + yq::ErrnoText(errno);
    return false;
  }
  m_committed = true;
  return true;
}

}  // namespace zn::admin
