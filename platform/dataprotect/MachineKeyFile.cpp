#include "MachineKeyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <botan/system_rng.h>

namespace zndp {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

std::string Errno(const std::string& what, const std::string& path) {
  return what + " [" + path + "]: " + std::strerror(errno);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A new key under a temporary name, linked to `path` unless another
// process got there first (then theirs is used).
bool CreateKey(const std::string& path, std::string& error) {
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  ::unlink(temp.c_str());
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) {
    error = Errno("Cannot create the machine key file", temp);
    return false;
  }
  Botan::secure_vector<uint8_t> key(kKeyBytes);
  Botan::system_rng().randomize(key.data(), key.size());
  const bool written = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), key.data(), key.size()) &&
                       ::fsync(fd.get()) == 0;
  if (!written) {
    error = Errno("Cannot write the machine key file", temp);
    ::unlink(temp.c_str());
    return false;
  }
  const int linked = ::link(temp.c_str(), path.c_str());
  const int linkErrno = errno;
  ::unlink(temp.c_str());
  if (linked != 0 && linkErrno != EEXIST) {
    errno = linkErrno;
    error = Errno("Cannot put the machine key file in place", path);
    return false;
  }
  return true;
}

}  // namespace

bool LoadMachineKey(const std::string& path, bool create, Botan::secure_vector<uint8_t>& key, std::string& error) {
  if (path.empty()) {
    error = "No machine key file";
    return false;
  }
  int fdValue = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fdValue < 0 && errno == ENOENT && create) {
    if (!CreateKey(path, error)) return false;
    fdValue = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  }
  Fd fd(fdValue);
  if (fd.get() < 0) {
    error = errno == ELOOP ? "The machine key file [" + path + "] is a symbolic link"
                           : Errno("Cannot open the machine key file", path);
    return false;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    error = Errno("Cannot examine the machine key file", path);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "The machine key file [" + path + "] is not a regular file";
    return false;
  }
  if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    error = "The machine key file [" + path + "] belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    error = "The machine key file [" + path + "] is open to group or others (mode " +
            std::to_string((st.st_mode >> 6) & 7) + std::to_string((st.st_mode >> 3) & 7) +
            std::to_string(st.st_mode & 7) + "); it must be 0600";
    return false;
  }
  if (static_cast<size_t>(st.st_size) != kKeyBytes) {
    error = "The machine key file [" + path + "] is corrupt: " + std::to_string(st.st_size) + " bytes instead of " +
            std::to_string(kKeyBytes);
    return false;
  }
  key.assign(kKeyBytes, 0);
  size_t got = 0;
  while (got < kKeyBytes) {
    const ssize_t n = ::read(fd.get(), key.data() + got, kKeyBytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = Errno("Cannot read the machine key file", path);
      return false;
    }
    got += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace zndp
