#include "zn/util/ZNProcessId.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "zn/util/internal/ProcessStat.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

// The code the Windows original reports when a process cannot be looked at: a pid
// that no process holds is an invalid parameter there, as here.
int ProcessErrorCode(int errnum) {
  if (errnum == ENOENT || errnum == ESRCH) return static_cast<int>(yq::kErrorInvalidParameter);
  return static_cast<int>(yq::Win32FromErrno(errnum));
}

// One "%lu" of the text form: blanks, then decimal digits within 32 bits.
bool ParseNumber(std::string_view& text, uint32_t& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return true;
}

}  // namespace

ZNProcessId::ZNProcessId(unsigned long pid) : m_initialized(true), m_pid(static_cast<uint32_t>(pid)) {}

int ZNProcessId::thisProcess() {
  m_initialized = true;
  m_pid = static_cast<uint32_t>(::getpid());
  m_timeKnown = false;
  m_createTimeHigh = m_createTimeLow = 0;
  return 0;
}

int ZNProcessId::setIdString(const char* text) {
  std::string_view rest = text != nullptr ? std::string_view(text) : std::string_view();
  uint32_t numbers[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (rest.empty() || rest.front() != '/') {
        debug(1, "setIdString: invalid id string %s\n", text != nullptr ? text : "(null)");
        return -1;
      }
      rest.remove_prefix(1);
    }
    if (!ParseNumber(rest, numbers[i])) {
      debug(1, "setIdString: invalid id string %s\n", text != nullptr ? text : "(null)");
      return -1;
    }
  }
  m_initialized = true;
  m_pid = numbers[0];
  m_timeKnown = true;
  m_createTimeHigh = numbers[1];
  m_createTimeLow = numbers[2];
  return 0;
}

bool ZNProcessId::loadCreationTime(const char* caller) {
  if (m_timeKnown) return true;
  unsigned long long fileTime = 0;
  if (const int error = zn::detail::ReadProcessCreationTime(m_pid, fileTime); error != 0) {
    debug(1, "%s: GetProcessTimes pid %lu failed with code %d\n", caller, static_cast<unsigned long>(m_pid),
          ProcessErrorCode(error));
    return false;
  }
  m_timeKnown = true;
  m_createTimeHigh = static_cast<uint32_t>(fileTime >> 32);
  m_createTimeLow = static_cast<uint32_t>(fileTime);
  return true;
}

int ZNProcessId::getIdString(std::string& text) {
  if (!m_initialized) {
    debug(1, "getIdString: not initialized\n");
    return -1;
  }
  if (!loadCreationTime("getIdString")) return -1;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%lu/%lu/%lu", static_cast<unsigned long>(m_pid),
                static_cast<unsigned long>(m_createTimeHigh), static_cast<unsigned long>(m_createTimeLow));
  text = buffer;
  return 0;
}

int ZNProcessId::getIdString(char* buffer, unsigned long size) {
  std::string text;
  if (getIdString(text) != 0) return -1;
  if (buffer == nullptr || size <= text.size()) return -1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 0;
}

bool ZNProcessId::isRunning() {
  if (!m_initialized) return false;
  zn::detail::ProcessStat stat;
  if (const int error = zn::detail::ReadProcessStat(m_pid, stat); error != 0) {
    debug(1, "isRunning: OpenProcess pid %lu failed, code %d\n", static_cast<unsigned long>(m_pid),
          ProcessErrorCode(error));
    return false;
  }
  if (stat.state == 'Z' || stat.state == 'X') return false;
  if (!m_timeKnown) return true;
  unsigned long long now = 0;
  if (zn::detail::ReadProcessCreationTime(m_pid, now) != 0) return false;
  return now == (static_cast<unsigned long long>(m_createTimeHigh) << 32 | m_createTimeLow);
}

unsigned long long ZNProcessId::getCreationTime() {
  if (!m_initialized || !loadCreationTime("getCreationTime")) return 0;
  return static_cast<unsigned long long>(m_createTimeHigh) << 32 | m_createTimeLow;
}

bool ZNProcessId::operator==(const ZNProcessId& other) const {
  if (m_initialized != other.m_initialized || m_pid != other.m_pid) return false;
  if (!m_timeKnown || !other.m_timeKnown) return true;
  return m_createTimeHigh == other.m_createTimeHigh && m_createTimeLow == other.m_createTimeLow;
}
