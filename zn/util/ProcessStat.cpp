#include "zn/util/internal/ProcessStat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <mutex>
#include <string>

#include "zuzazer/FXUniqueFd.h"

namespace zn::detail {
namespace {

// Seconds between 1601-01-01 and 1970-01-01, in 100-ns intervals.
constexpr unsigned long long kUnixEpochAsFileTime = 116444736000000000ULL;

// Reads a small /proc file whole (such files must be read in one go to be
// consistent). 0, or errno.
int ReadProcFile(const char* path, std::string& text) {
  yq::UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (!fd) return errno;
  text.clear();
  char buffer[4096];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > (1u << 20)) return EINVAL;
  }
}

bool ParseUnsigned(std::string_view field, unsigned long long& value) {
  if (field.empty()) return false;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size();
}

// The boot time in seconds since 1970, as the kernel keeps it.
int ReadBootTimeNow(unsigned long long& seconds) {
  std::string text;
  if (const int error = ReadProcFile("/proc/stat", text); error != 0) return error;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.substr(0, 6) == "btime ") return ParseUnsigned(line.substr(6), seconds) ? 0 : EINVAL;
  }
  return EINVAL;
}

// Read once per process: the kernel moves it when the clock is set, and a
// process's identifiers must not change under it while it runs.
int ReadBootTime(unsigned long long& seconds) {
  static std::mutex lock;
  static bool known = false;
  static unsigned long long cached = 0;
  std::lock_guard<std::mutex> hold(lock);
  if (!known) {
    if (const int error = ReadBootTimeNow(cached); error != 0) return error;
    known = true;
  }
  seconds = cached;
  return 0;
}

}  // namespace

bool ParseProcessStat(std::string_view text, ProcessStat& stat) {
  const std::size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string_view::npos) return false;
  std::string_view rest = text.substr(nameEnd + 1);
  // Fields 3 onwards, each after one blank; field 3 is the state.
  std::string_view fields[20];
  for (std::string_view& field : fields) {
    if (rest.empty() || rest.front() != ' ') return false;
    rest.remove_prefix(1);
    const std::size_t end = rest.find_first_of(" \n");
    field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  if (fields[0].size() != 1) return false;
  ProcessStat parsed;
  parsed.state = fields[0].front();
  if (!ParseUnsigned(fields[19], parsed.startTicks)) return false;
  stat = parsed;
  return true;
}

int ReadProcessStat(uint32_t pid, ProcessStat& stat) {
  // No process has id 0 in /proc; "/proc/0" would not exist anyway.
  if (pid == 0) return ENOENT;
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  std::string text;
  if (const int error = ReadProcFile(path.c_str(), text); error != 0) return error;
  return ParseProcessStat(text, stat) ? 0 : EINVAL;
}

int ReadProcessCreationTime(uint32_t pid, unsigned long long& fileTime) {
  ProcessStat stat;
  if (const int error = ReadProcessStat(pid, stat); error != 0) return error;
  unsigned long long bootSeconds = 0;
  if (const int error = ReadBootTime(bootSeconds); error != 0) return error;
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  if (ticksPerSecond <= 0) return EINVAL;
  const auto tps = static_cast<unsigned long long>(ticksPerSecond);
  fileTime = kUnixEpochAsFileTime + bootSeconds * 10000000ULL + stat.startTicks / tps * 10000000ULL +
             stat.startTicks % tps * 10000000ULL / tps;
  return 0;
}

}  // namespace zn::detail
