#include "FileFollow.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Admin.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::admin {
namespace {

// Reads what `fd` holds past its offset and hands the complete lines on;
// `partial` keeps a line not yet ended. False when the consumer is done.
bool Drain(int fd, std::string& partial, const std::function<bool(std::string_view)>& line) {
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    partial.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = partial.find('\n', start)) != std::string::npos; start = end + 1) {
      if (!line(std::string_view(partial).substr(start, end - start))) return false;
    }
    partial.erase(0, start);
  }
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

int FollowFile(const std::string& path, yq::UniqueFd file, const std::function<bool(std::string_view)>& line) {
  const std::string folder = FXPath::GetDirectory(path).empty() ? "." : FXPath::GetDirectory(path);
  const yq::UniqueFd watch(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  if (!watch) return Fail("cannot watch [" + folder + "]: " + yq::ErrnoText(errno));
  constexpr uint32_t kEvents = IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE |
                               IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
  if (::inotify_add_watch(watch.get(), folder.c_str(), kEvents) < 0) {
    return Fail("cannot watch [" + folder + "]: " + yq::ErrnoText(errno), errno == ENOENT ? kExitNotFound : kExitFailure);
  }
  std::string partial;
  for (;;) {
    // The watch is in place before each look, so nothing written after a
    // look goes unnoticed.
    if (file && !Drain(file.get(), partial, line)) return kExitOk;
    struct stat named {}, open {};
    if (::stat(path.c_str(), &named) == 0) {
      if (!file || ::fstat(file.get(), &open) != 0 || !SameFile(named, open)) {
        // A new file under the name: the old one's last line ends with it.
        if (!partial.empty() && !line(partial)) return kExitOk;
        partial.clear();
        file.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        continue;
      }
      if (named.st_size < ::lseek(file.get(), 0, SEEK_CUR)) {  // cut short: read it again
        ::lseek(file.get(), 0, SEEK_SET);
        partial.clear();
        continue;
      }
    }
    struct pollfd waits[2] = {{watch.get(), POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Fail("cannot wait for [" + path + "]: " + yq::ErrnoText(errno));
    }
    if ((waits[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return kExitOk;  // nobody reads any more
    alignas(struct inotify_event) char events[4096];
    for (ssize_t n; (n = ::read(watch.get(), events, sizeof events)) > 0;) {
      for (char* at = events; at < events + n;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(at);
        if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
          return Fail("the folder [" + folder + "] of [" + path + "] is gone");
        }
        at += sizeof(struct inotify_event) + event->len;
      }
    }
  }
}

}  // namespace zn::admin
