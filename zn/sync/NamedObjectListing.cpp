// The named objects of the machine as znadmin shows them: read from their
// segments without using them (no lock is taken, so looking never keeps
// an object alive), with their users from /proc/locks.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "zn/error/ZnErrorCodes.h"
#include "zn/sync/NamedKernelObject.h"
#include "zn/sync/internal/NamedObjectShared.h"
#include "zuzazer/FXUniqueFd.h"

namespace zn {
namespace {

constexpr const char* kShmFolder = "/dev/shm/";

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  return ec == std::errc() && ptr == end && !text.empty();
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

// "08:02:1234": device major and minor in hexadecimal, inode in decimal.
bool ParseLockedFile(std::string_view text, LockedFile& file) {
  const auto first = text.find(':');
  if (first == std::string_view::npos) return false;
  const auto second = text.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  return ParseNumber(text.substr(0, first), file.major, 16) &&
         ParseNumber(text.substr(first + 1, second - first - 1), file.minor, 16) &&
         ParseNumber(text.substr(second + 1), file.inode);
}

std::string ReadProcLocks() {
  std::ifstream in("/proc/locks");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <typename T>
T Field(std::span<const unsigned char> bytes, std::size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// Reads the segment at `path` (opened without following links, never
// mapped: a segment cut short would fault).
void DescribeSegment(const std::string& path, const std::map<LockedFile, std::vector<pid_t>>& holders,
                     NamedObjectInfo& info) {
  yq::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0) {
    info.kind = "?";
    info.state = std::string("cannot be read: ") + std::strerror(errno);
    if (::lstat(path.c_str(), &st) != 0) return;
  } else if (!S_ISREG(st.st_mode)) {
    info.kind = "?";
    info.state = "not a regular file";
    return;
  } else {
    unsigned char bytes[sizeof(NamedKernelObject::Shared)] = {};
    const ssize_t got = ::pread(fd.get(), bytes, sizeof bytes, 0);
    NamedKernelObject::DescribeHeader(std::span<const unsigned char>(bytes, got > 0 ? static_cast<std::size_t>(got) : 0),
                                      static_cast<unsigned long long>(st.st_size), info);
  }
  const auto found = holders.find(LockedFile{major(st.st_dev), minor(st.st_dev), st.st_ino});
  if (found != holders.end()) info.users = found->second;
  if (info.users.empty() && info.kind != "other" && info.kind != "?") {
    info.state += "; no live user (left by users that died: the next creator starts it afresh)";
  }
}

}  // namespace

std::map<LockedFile, std::vector<pid_t>> ParseFlockHolders(std::string_view procLocks) {
  std::map<LockedFile, std::vector<pid_t>> holders;
  while (!procLocks.empty()) {
    const auto end = procLocks.find('\n');
    const std::string_view line = procLocks.substr(0, end);
    procLocks = end == std::string_view::npos ? std::string_view() : procLocks.substr(end + 1);
    // "1: FLOCK  ADVISORY  READ  1234 00:1a:5678 0 EOF"; waiters show "->"
    // after the number and hold nothing.
    const std::vector<std::string_view> words = Words(line);
    if (words.size() < 6 || words[1] != "FLOCK") continue;
    pid_t pid = 0;
    LockedFile file;
    if (!ParseNumber(words[4], pid) || pid <= 0 || !ParseLockedFile(words[5], file)) continue;
    std::vector<pid_t>& pids = holders[file];
    if (std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
  }
  return holders;
}

void NamedKernelObject::DescribeHeader(std::span<const unsigned char> bytes, unsigned long long segmentSize,
                                       NamedObjectInfo& info) {
  info.size = segmentSize;
  if (bytes.size() < sizeof(Shared) || Field<uint32_t>(bytes, offsetof(Shared, magic)) != detail::kNamedObjectMagic) {
    info.kind = "other";
    info.state = "not a named object of this library";
    return;
  }
  const char* const name = reinterpret_cast<const char*>(bytes.data() + offsetof(Shared, name));
  info.name.assign(name, ::strnlen(name, sizeof(Shared::name)));
  if (Field<uint32_t>(bytes, offsetof(Shared, ready)) != 1) {
    info.kind = "?";
    info.state = "being set up, or left by a creator that died";
    return;
  }
  // Sleepers on the object; one killed in its sleep stays counted.
  const std::string waiting = ", waiters " + std::to_string(Field<uint32_t>(bytes, offsetof(Shared, waiters)));
  const int32_t count = Field<int32_t>(bytes, offsetof(Shared, count));
  const int32_t maximum = Field<int32_t>(bytes, offsetof(Shared, maximum));
  switch (static_cast<NamedObjectType>(Field<uint32_t>(bytes, offsetof(Shared, type)))) {
    case NamedObjectType::kMutex: {
      info.kind = "mutex";
      const std::size_t at = offsetof(Shared, lock);
      const uint32_t word = Field<uint32_t>(bytes, at + offsetof(detail::RobustLock, word));
      const uint32_t depth = Field<uint32_t>(bytes, at + offsetof(detail::RobustLock, depth));
      const uint32_t holder = Field<uint32_t>(bytes, at + offsetof(detail::RobustLock, holderThread));
      const uint64_t start = Field<uint64_t>(bytes, at + offsetof(detail::RobustLock, holderStart));
      const uint32_t owner = word & detail::kLockThreadMask;
      if (owner == 0) {
        info.state = "free";
      } else if (detail::OwnerGone(owner, holder, start, true)) {
        info.state = "abandoned: its owner, thread " + std::to_string(owner) + ", is gone";
      } else {
        info.state = "held by thread " + std::to_string(owner) + " (depth " + std::to_string(depth) + ")";
      }
      break;
    }
    case NamedObjectType::kSemaphore:
      info.kind = "semaphore";
      info.state = "count " + std::to_string(count) + " of " + std::to_string(maximum) + waiting;
      break;
    case NamedObjectType::kEvent:
      info.kind = "event";
      info.state = std::string(Field<uint32_t>(bytes, offsetof(Shared, signalled)) != 0 ? "signalled" : "not signalled") +
                   (Field<uint32_t>(bytes, offsetof(Shared, manualReset)) != 0 ? ", manual reset" : ", automatic reset") +
                   waiting;
      break;
    case NamedObjectType::kFileMapping: {
      info.kind = "mapping";
      const uint64_t size = Field<uint64_t>(bytes, offsetof(Shared, mappingSize));
      info.size = size;
      info.state = segmentSize >= detail::kMappingDataOffset && segmentSize - detail::kMappingDataOffset >= size
                       ? std::to_string(size) + " bytes"
                       : "damaged: the segment holds fewer bytes than its header says";
      break;
    }
    default:
      info.kind = "?";
      info.state = "unknown kind " + std::to_string(Field<uint32_t>(bytes, offsetof(Shared, type)));
  }
}

std::vector<NamedObjectInfo> NamedKernelObject::List() {
  const auto holders = ParseFlockHolders(ReadProcLocks());
  std::vector<NamedObjectInfo> objects;
  DIR* folder = ::opendir(kShmFolder);
  if (folder == nullptr) return objects;
  while (const dirent* entry = ::readdir(folder)) {
    if (std::strncmp(entry->d_name, "zn.", 3) != 0) continue;
    NamedObjectInfo info;
    info.segment = entry->d_name;
    DescribeSegment(kShmFolder + info.segment, holders, info);
    if (info.kind == "other" && info.segment.rfind("zn.log.", 0) == 0) info.state = "a log file's control block";
    objects.push_back(std::move(info));
  }
  ::closedir(folder);
  std::sort(objects.begin(), objects.end(),
            [](const NamedObjectInfo& a, const NamedObjectInfo& b) { return a.segment < b.segment; });
  return objects;
}

uint32_t NamedKernelObject::Describe(const std::string& name, NamedObjectInfo& info) {
  info = NamedObjectInfo();
  if (name.empty()) return kErrorInvalidName;
  info.segment = SegmentName(name).substr(1);
  const std::string path = kShmFolder + info.segment;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
  DescribeSegment(path, ParseFlockHolders(ReadProcLocks()), info);
  return 0;
}

}  // namespace zn
