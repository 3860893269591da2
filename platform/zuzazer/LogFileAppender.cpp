#include "zuzazer/LogFileAppender.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/LogVersions.h"

namespace yq {
namespace {

constexpr int kCreateMode = 0666;  // narrowed by the process umask
constexpr int64_t kExternalCheckSeconds = 1;

// After a rollover lock that could not be had in time, the rollovers of
// this writer wait this long before they try again.
constexpr int64_t kRolloverPauseMs = 10000;

int64_t NowSeconds() { return static_cast<int64_t>(::time(nullptr)); }

int64_t MonotonicMs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

// Appends one line for any writer of the file. A line cut short (the disk
// ran out in the middle of it) leaves the file inside a line; the next line
// written, by whichever writer, starts with a line end of its own, so that
// no later line starts in the middle of the torn one. `written` receives the
// bytes that reached the file.
int WriteLine(int fd, std::string_view line, LogSharedState& shared, uint64_t& written) {
  const uint64_t torn = shared.tornLines.load(std::memory_order_acquire);
  const bool close = torn != shared.closedLines.load(std::memory_order_acquire);
  std::string closed;
  std::string_view data = line;
  if (close) {
    closed.reserve(line.size() + 1);
    closed.push_back('\n');
    closed.append(line);
    data = closed;
  }
  written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      if (written > 0) shared.tornLines.fetch_add(1, std::memory_order_acq_rel);
      return err;
    }
    written += static_cast<uint64_t>(n);
  }
  if (close) {
    // Closed up to the tears seen before this line; a later one stays open.
    uint64_t seen = shared.closedLines.load(std::memory_order_acquire);
    while (seen < torn && !shared.closedLines.compare_exchange_weak(seen, torn, std::memory_order_acq_rel)) {
    }
  }
  return 0;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Seconds of a 14-digit UTC stamp at the end of a version name, or 0.
int64_t StampSeconds(const std::string& versionName, const std::string& baseName) {
  const std::string digits = versionName.substr(baseName.size() + 1, 14);
  if (digits.size() != 14 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  struct tm parts {};
  parts.tm_year = std::atoi(digits.substr(0, 4).c_str()) - 1900;
  parts.tm_mon = std::atoi(digits.substr(4, 2).c_str()) - 1;
  parts.tm_mday = std::atoi(digits.substr(6, 2).c_str());
  parts.tm_hour = std::atoi(digits.substr(8, 2).c_str());
  parts.tm_min = std::atoi(digits.substr(10, 2).c_str());
  parts.tm_sec = std::atoi(digits.substr(12, 2).c_str());
  return static_cast<int64_t>(::timegm(&parts));
}

}  // namespace

LogFileAppender::LogFileAppender(std::string directory, std::string baseName, HeaderSource header)
    : m_directory(std::move(directory)),
      m_baseName(std::move(baseName)),
      m_path(FXPath::Append(m_directory, m_baseName + ".log")),
      m_header(std::move(header)) {}

LogFileAppender::~LogFileAppender() { close(); }

int LogFileAppender::append(std::string_view line, const LogFileLimits& limits, bool keepOpen, bool durable) {
  return keepOpen ? appendKeepingOpen(line, limits, durable) : appendOpeningPerLine(line, limits, durable);
}

int LogFileAppender::appendKeepingOpen(std::string_view line, const LogFileLimits& limits, bool durable) {
  constexpr int kAttempts = 4;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // The in-flight count keeps close() from closing the descriptor under a
    // write; it must be raised before the descriptor is read.
    m_inflight.fetch_add(1);
    const int fd = m_fd.load();
    LogSharedState* shared = m_shared.load(std::memory_order_acquire);
    const bool stale = fd < 0 || shared == nullptr ||
                       shared->generation.load(std::memory_order_acquire) !=
                           m_openGeneration.load(std::memory_order_relaxed) ||
                       NowSeconds() - m_lastExternalCheck.load(std::memory_order_relaxed) >= kExternalCheckSeconds;
    // Other processes rolling over again and again cannot starve a line:
    // the last attempt writes to the open file, the current one or the
    // newest version.
    const bool lastChance = attempt == kAttempts - 1 && fd >= 0 && shared != nullptr;
    if (stale && !lastChance) {
      m_inflight.fetch_sub(1);
      std::lock_guard<std::mutex> lock(m_mutex);
      const int current = m_fd.load();
      shared = m_shared.load();
      const bool moved = current < 0 || shared == nullptr ||
                         shared->generation.load() != m_openGeneration.load();
      if (moved) {
        if (const int err = reopenLocked(); err != 0) return err;
      } else if (NowSeconds() - m_lastExternalCheck.load() >= kExternalCheckSeconds) {
        checkExternalChangesLocked();
      }
      continue;
    }
    uint64_t written = 0;
    int err = WriteLine(fd, line, *shared, written);
    if (err == 0 && durable && ::fdatasync(fd) != 0) err = errno;
    m_inflight.fetch_sub(1);
    const uint64_t bytes = shared->bytes.fetch_add(written) + written;
    if (err != 0) return err;
    if (limits.maxBytes > 0 && bytes >= limits.maxBytes) rollOverIfNeeded(-1, limits);
    return 0;
  }
  return EAGAIN;
}

int LogFileAppender::appendOpeningPerLine(std::string_view line, const LogFileLimits& limits, bool durable) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!ensureControlBlock()) return errno != 0 ? errno : EIO;
  }
  const int opened = openCurrentFile();
  if (opened < 0) return -opened;
  UniqueFd fd(opened);
  LogSharedState& shared = *m_shared.load();
  uint64_t written = 0;
  int err = WriteLine(fd.get(), line, shared, written);
  if (err == 0 && durable && ::fdatasync(fd.get()) != 0) err = errno;
  const uint64_t bytes = shared.bytes.fetch_add(written) + written;
  if (err != 0) return err;
  if (limits.maxBytes > 0 && bytes >= limits.maxBytes) rollOverIfNeeded(fd.get(), limits);
  return 0;
}

bool LogFileAppender::ensureControlBlock() {
  if (m_control) return true;
  if (FXFile::CreateDirectories(m_directory).IsError()) return false;
  char resolved[PATH_MAX];
  const std::string absolute = ::realpath(m_directory.c_str(), resolved) != nullptr
                                   ? FXPath::Append(resolved, m_baseName + ".log")
                                   : m_path;
  m_control = std::make_unique<LogControlBlock>(absolute);
  m_shared.store(&m_control->state(), std::memory_order_release);
  return true;
}

int LogFileAppender::openCurrentFile() {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int created = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, kCreateMode);
    if (created >= 0) {
      if (m_header) {
        const std::string header = m_header();
        if (!header.empty() && WriteAll(created, header) == 0) {
          m_shared.load()->bytes.fetch_add(header.size());
        }
      }
      return created;
    }
    if (errno == ENOENT) {
      // The folder went away; make it again.
      if (FXFile::CreateDirectories(m_directory).IsError()) return -ENOENT;
      continue;
    }
    if (errno != EEXIST) return -errno;
    const int existing = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (existing >= 0) return existing;
    if (errno != ENOENT) return -errno;
    // Removed between the two opens: try again.
  }
  return -EAGAIN;
}

int LogFileAppender::reopenLocked() {
  if (!ensureControlBlock()) return errno != 0 ? errno : EIO;
  // Read the generation before opening: a rollover in between only causes
  // one more reopen.
  const uint64_t generation = m_shared.load()->generation.load();
  const int result = openCurrentFile();
  if (result < 0) return -result;
  UniqueFd opened(result);
  const int current = m_fd.load();
  if (current >= 0) {
    // Keep the descriptor number: writers in flight finish on the old file.
    ::dup3(opened.get(), current, O_CLOEXEC);
  } else {
    m_fd.store(opened.release());
  }
  m_openGeneration.store(generation);
  m_lastExternalCheck.store(NowSeconds());
  return 0;
}

void LogFileAppender::checkExternalChangesLocked() {
  m_lastExternalCheck.store(NowSeconds());
  const int fd = m_fd.load();
  struct stat open {}, named {};
  if (fd < 0 || ::fstat(fd, &open) != 0 || open.st_nlink == 0 || ::stat(m_path.c_str(), &named) != 0 ||
      !SameFile(open, named)) {
    reopenLocked();
  }
}

void LogFileAppender::rollOverIfNeeded(int perLineFd, const LogFileLimits& limits) {
  std::lock_guard<std::mutex> lock(m_mutex);
  LogSharedState& shared = m_control->state();
  const bool keepOpen = perLineFd < 0;
  const int fd = keepOpen ? m_fd.load() : perLineFd;
  if (fd < 0) return;  // closed meanwhile
  if (keepOpen && shared.generation.load() != m_openGeneration.load()) return;  // already rolled
  // A lock that could not be had in time is not waited for again at every
  // line: the file grows past its limit a while and lines stay whole.
  if (MonotonicMs() < m_rolloverPausedUntil) return;
  if (!m_control->lock(fd)) {
    m_rolloverPausedUntil = MonotonicMs() + kRolloverPauseMs;
    return;
  }
  struct Unlock {
    LogControlBlock* control;
    ~Unlock() { control->unlock(); }
  } unlock{m_control.get()};

  if (keepOpen && shared.generation.load() != m_openGeneration.load()) return;
  struct stat open {}, named {};
  if (::fstat(fd, &open) != 0) return;
  if (::stat(m_path.c_str(), &named) != 0 || !SameFile(open, named)) {
    // Someone else moved the file: write to whatever the name holds now.
    if (keepOpen) reopenLocked();
    return;
  }
  if (static_cast<uint64_t>(open.st_size) < limits.maxBytes) {
    shared.bytes.store(static_cast<uint64_t>(open.st_size));  // the count drifted; trust the file
    return;
  }

  if (shared.lastVersionTime.load() == 0) {
    const auto versions = ListLogVersions(m_directory, m_baseName);
    if (!versions.empty()) shared.lastVersionTime.store(StampSeconds(versions.front(), m_baseName));
  }
  // Each version name is later than the one before, even within a second.
  int64_t stamp = std::max(NowSeconds(), shared.lastVersionTime.load() + 1);
  bool renamed = false;
  for (int attempt = 0; attempt < 1000 && !renamed; ++attempt, ++stamp) {
    const std::string version = FXPath::Append(m_directory, LogVersionFileName(m_baseName, stamp));
    if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, version.c_str(), RENAME_NOREPLACE) == 0) {
      renamed = true;
      shared.lastVersionTime.store(stamp);
    } else if (errno != EEXIST) {
      return;
    }
  }
  if (!renamed) return;
  shared.bytes.store(0);
  shared.closedLines.store(shared.tornLines.load());  // the new file starts at a line
  shared.generation.fetch_add(1);
  if (keepOpen) reopenLocked();
  PruneLogVersions(m_directory, m_baseName, limits.maxVersions, limits.retainSeconds);
}

void LogFileAppender::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int fd = m_fd.exchange(-1);
  if (fd < 0) return;
  while (m_inflight.load() != 0) ::sched_yield();
  ::close(fd);
}

}  // namespace yq
