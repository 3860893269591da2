#include "helpers/TmpfsMount.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "helpers/TempDir.h"

namespace zn::test {

TmpfsMount::TmpfsMount(std::size_t bytes) {
  m_path = ScratchRoot() + "/tmpfs.XXXXXX";
  if (::mkdtemp(m_path.data()) == nullptr) {
    m_reason = std::string("cannot make a mount point: ") + std::strerror(errno);
    m_path.clear();
    return;
  }
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (::mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    m_reason = std::string("cannot mount a tmpfs (needs root): ") + std::strerror(errno);
    return;
  }
  m_mounted = true;
}

TmpfsMount::~TmpfsMount() {
  if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
  if (!m_path.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
}

unsigned long long TmpfsMount::freeBytes() const {
  struct statvfs info {};
  if (::statvfs(m_path.c_str(), &info) != 0) return 0;
  return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
}

}  // namespace zn::test
