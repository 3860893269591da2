#include "zn/file/internal/DirectoryTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "zuzazer/FXPath.h"
#include "zuzazer/FXScopeExit.h"
#include "zuzazer/FXUniqueDir.h"
#include "zuzazer/FXUniqueFd.h"

namespace zn::detail {
namespace {

// Passes over a subfolder that keeps getting new entries while it is
// removed, before it is given up as not empty.
constexpr int kRemovePasses = 4;
constexpr std::size_t kCopyPiece = 1 << 20;

struct Entry {
  std::string name;
  unsigned char type;  // DT_*; DT_UNKNOWN where the file system does not tell
};

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The entries of an open folder, "." and ".." left out, read through an
// open of its own so the caller's descriptor keeps its position. 0 or errno.
int ListFolder(int folderFd, std::vector<Entry>& entries) {
  entries.clear();
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  yq::UniqueDir dir(::fdopendir(fd));
  if (!dir) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  while (true) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) return errno;
    if (IsDotOrDotDot(entry->d_name)) continue;
    entries.push_back(Entry{entry->d_name, entry->d_type});
  }
}

int OpenSubfolder(int parentFd, const std::string& name) {
  int fd;
  do {
    fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class Remover {
 public:
  explicit Remover(const RemoveFailure& onFailure) : m_onFailure(onFailure) {}

  int lastError() const { return m_lastError; }

  // True when every child went.
  bool removeChildren(int folderFd, const std::string& path, const char* except, int depth) {
    std::vector<Entry> entries;
    if (const int error = ListFolder(folderFd, entries); error != 0) {
      fail(path, error);
      return false;
    }
    bool allGone = true;
    for (const Entry& entry : entries) {
      if (except != nullptr && entry.name == except) continue;
      if (!removeEntry(folderFd, path, entry, depth)) allGone = false;
    }
    return allGone;
  }

 private:
  void fail(const std::string& path, int error) {
    m_lastError = error;
    m_onFailure(path, error);
  }

  bool removeEntry(int folderFd, const std::string& parentPath, const Entry& entry, int depth) {
    const std::string path = FXPath::Append(parentPath, entry.name);
    bool isFolder = entry.type == DT_DIR;
    if (entry.type == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(folderFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return true;  // gone meanwhile
        fail(path, errno);
        return false;
      }
      isFolder = S_ISDIR(st.st_mode);
    }
    if (!isFolder) {
      if (::unlinkat(folderFd, entry.name.c_str(), 0) == 0 || errno == ENOENT) return true;
      if (errno != EISDIR) {
        fail(path, errno);
        return false;
      }
      // Made a folder since it was listed.
    }
    return removeFolder(folderFd, entry.name, path, depth);
  }

  bool removeFolder(int parentFd, const std::string& name, const std::string& path, int depth) {
    if (depth >= kMaxTreeDepth) {
      fail(path, ENAMETOOLONG);
      return false;
    }
    for (int pass = 0; pass < kRemovePasses; ++pass) {
      yq::UniqueFd folder(OpenSubfolder(parentFd, name));
      if (!folder) {
        const int error = errno;
        if (error == ENOENT) return true;
        // Swapped for a link or a file since it was listed: that goes, and
        // never what a link points to.
        if (error == ELOOP || error == ENOTDIR) {
          if (::unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT) return true;
        }
        fail(path, error);
        return false;
      }
      if (!removeChildren(folder.get(), path, nullptr, depth + 1)) return false;
      folder.reset();
      if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
      if (errno != ENOTEMPTY && errno != EEXIST) {
        fail(path, errno);
        return false;
      }
      // Someone added entries after we listed it: another pass.
    }
    fail(path, ENOTEMPTY);
    return false;
  }

  const RemoveFailure& m_onFailure;
  int m_lastError = 0;
};

// Copies the bytes of `in` to `out`: in the kernel where it can, else by
// reading and writing. 0 or errno.
int CopyBytes(int in, int out) {
  bool anyInKernel = false;
  while (true) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kCopyPiece, 0);
    if (n > 0) {
      anyInKernel = true;
      continue;
    }
    if (n == 0) {
      // Some files report no size (proc and the like) and copy nothing in
      // the kernel; reading tells.
      if (anyInKernel) return 0;
      break;
    }
    if (errno == EINTR) continue;
    if (anyInKernel || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
                        errno != EBADF && errno != EPERM)) {
      return errno;
    }
    break;
  }
  std::vector<char> buffer(kCopyPiece);
  while (true) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (w == 0) return ENOSPC;
      done += w;
    }
  }
}

class Copier {
 public:
  Copier(const CopyFailure& onFailure, const struct stat& target) : m_onFailure(onFailure), m_target(target) {}

  int lastError() const { return m_lastError; }

  void copyChildren(int fromFd, const std::string& fromPath, int toFd, const std::string& toPath, int depth) {
    std::vector<Entry> entries;
    if (const int error = ListFolder(fromFd, entries); error != 0) {
      fail(fromPath, toPath, error);
      return;
    }
    for (const Entry& entry : entries) copyEntry(fromFd, fromPath, toFd, toPath, entry.name, depth);
  }

 private:
  void fail(const std::string& from, const std::string& to, int error) {
    m_lastError = error;
    m_onFailure(from, to, error);
  }

  // A name of our own in the target folder while a copy is made: never the
  // final name, so no one takes a part for the whole.
  static std::string TemporaryName() {
    static std::atomic<unsigned long> counter{0};
    return ".zncopy." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
  }

  void copyEntry(int fromFd, const std::string& fromPath, int toFd, const std::string& toPath,
                 const std::string& name, int depth) {
    const std::string from = FXPath::Append(fromPath, name);
    const std::string to = FXPath::Append(toPath, name);
    struct stat st {};
    if (::fstatat(fromFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      fail(from, to, errno);
      return;
    }
    if (S_ISLNK(st.st_mode)) {
      copyLink(fromFd, toFd, name, from, to);
    } else if (S_ISDIR(st.st_mode)) {
      copyFolder(fromFd, toFd, name, st, from, to, depth);
    } else if (S_ISREG(st.st_mode)) {
      copyFile(fromFd, toFd, name, from, to);
    } else {
      // Devices, FIFOs and sockets have no content to copy; opening a FIFO
      // would wait for a writer.
      fail(from, to, ENOTSUP);
    }
  }

  void copyFile(int fromFd, int toFd, const std::string& name, const std::string& from, const std::string& to) {
    yq::UniqueFd in(::openat(fromFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in) {
      if (errno == ELOOP) {
        copyLink(fromFd, toFd, name, from, to);  // made a link since it was examined
      } else {
        fail(from, to, errno);
      }
      return;
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) {
      fail(from, to, errno);
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      fail(from, to, ENOTSUP);
      return;
    }
    const std::string temporary = TemporaryName();
    yq::UniqueFd out(::openat(toFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) {
      fail(from, to, errno);
      return;
    }
    yq::ScopeExit removeTemporary([&] { ::unlinkat(toFd, temporary.c_str(), 0); });
    int error = CopyBytes(in.get(), out.get());
    // Permission bits without set-user-id and set-group-id: a copy made by
    // root must not hand out another user's privileges.
    if (error == 0 && ::fchmod(out.get(), st.st_mode & 0777) != 0) error = errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (error == 0 && ::futimens(out.get(), times) != 0) error = errno;
    if (error == 0 && out.close() != 0) error = errno;
    if (error == 0 && ::renameat(toFd, temporary.c_str(), toFd, name.c_str()) != 0) error = errno;
    if (error != 0) {
      fail(from, to, error);
      return;
    }
    removeTemporary.dismiss();
  }

  void copyLink(int fromFd, int toFd, const std::string& name, const std::string& from, const std::string& to) {
    std::string target(256, '\0');
    while (true) {
      const ssize_t n = ::readlinkat(fromFd, name.c_str(), target.data(), target.size());
      if (n < 0) {
        fail(from, to, errno);
        return;
      }
      if (static_cast<std::size_t>(n) < target.size()) {
        target.resize(static_cast<std::size_t>(n));
        break;
      }
      target.resize(target.size() * 2);
    }
    const std::string temporary = TemporaryName();
    if (::symlinkat(target.c_str(), toFd, temporary.c_str()) != 0) {
      fail(from, to, errno);
      return;
    }
    if (::renameat(toFd, temporary.c_str(), toFd, name.c_str()) != 0) {
      const int error = errno;
      ::unlinkat(toFd, temporary.c_str(), 0);
      fail(from, to, error);
    }
  }

  void copyFolder(int fromFd, int toFd, const std::string& name, const struct stat& st, const std::string& from,
                  const std::string& to, int depth) {
    // The target inside the source: copying it would copy without end.
    if (st.st_dev == m_target.st_dev && st.st_ino == m_target.st_ino) return;
    if (depth >= kMaxTreeDepth) {
      fail(from, to, ENAMETOOLONG);
      return;
    }
    yq::UniqueFd source(OpenSubfolder(fromFd, name));
    if (!source) {
      fail(from, to, errno);
      return;
    }
    const bool created = ::mkdirat(toFd, name.c_str(), 0700) == 0;
    if (!created && errno != EEXIST) {
      fail(from, to, errno);
      return;
    }
    // An existing target must be a folder itself, never a link to one.
    yq::UniqueFd target(OpenSubfolder(toFd, name));
    if (!target) {
      fail(from, to, errno);
      return;
    }
    copyChildren(source.get(), from, target.get(), to, depth + 1);
    if (!created) return;
    // Last, so that a read-only source folder does not lock us out of the
    // copy while it fills.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(target.get(), st.st_mode & 0777) != 0 || ::futimens(target.get(), times) != 0) {
      fail(from, to, errno);
    }
  }

  const CopyFailure& m_onFailure;
  const struct stat m_target;
  int m_lastError = 0;
};

}  // namespace

int RemoveFolderEntries(int folderFd, const std::string& shownPath, const char* except,
                        const RemoveFailure& onFailure) {
  Remover remover(onFailure);
  remover.removeChildren(folderFd, shownPath, except, 0);
  return remover.lastError();
}

int CopyFolderEntries(int fromFd, const std::string& fromPath, int toFd, const std::string& toPath,
                      const CopyFailure& onFailure) {
  struct stat target {};
  if (::fstat(toFd, &target) != 0) {
    const int error = errno;
    onFailure(fromPath, toPath, error);
    return error;
  }
  Copier copier(onFailure, target);
  copier.copyChildren(fromFd, fromPath, toFd, toPath, 0);
  return copier.lastError();
}

}  // namespace zn::detail
