#include "LogTail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <ctime>
#include <deque>
#include <iostream>
#include <optional>
#include <regex>

#include "FileFollow.h"
#include "TimeArguments.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/LogLineFormat.h"
#include "zuzazer/LogVersions.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::admin {
namespace {

// Which lines pass. Continuation lines take the verdict of their line on
// the time and the level.
class LineFilter {
 public:
  bool prepare(const TailOptions& options) {
    if (!options.since.empty() && !ParseSince(options.since, ::time(nullptr), m_since)) {
      return Fail("[" + options.since + "] is not a time: 2024-05-01, \"2024-05-01 13:30\", 13:30, today, " +
                      "yesterday, -15m or \"2h ago\"",
                  kExitUsage) == kExitOk;
    }
    if (!options.level.empty()) {
      int level = 0;
      const auto [end, error] = std::from_chars(options.level.data(), options.level.data() + options.level.size(), level);
      if (error != std::errc() || end != options.level.data() + options.level.size() || level < -1) {
        return Fail("[" + options.level + "] is not a level: -1 (errors), 0 or above", kExitUsage) == kExitOk;
      }
      m_level = level;
    }
    if (!options.grep.empty()) {
      bool capital = false;
      for (const char c : options.grep) capital = capital || (c >= 'A' && c <= 'Z');
      try {
        m_grep.emplace(options.grep, capital ? std::regex::ECMAScript : std::regex::ECMAScript | std::regex::icase);
      } catch (const std::regex_error& error) {
        return Fail("[" + options.grep + "] is not a regular expression: " + error.what(), kExitUsage) == kExitOk;
      }
    }
    return true;
  }

  bool pass(std::string_view line) {
    yq::LogLinePrefix prefix;
    if (yq::ParseLogLinePrefix(line, prefix)) {
      m_lineKept = (m_since.empty() || prefix.timestamp >= m_since) &&
                   (!m_level || (prefix.hasLevel && prefix.level <= *m_level));
      m_levelsSeen = m_levelsSeen || prefix.hasLevel;
      m_anyLine = true;
    } else if (!m_anyLine) {
      m_lineKept = m_since.empty() && !m_level;  // text before any log line has no time
    }
    if (!m_lineKept) return false;
    return !m_grep || std::regex_search(line.begin(), line.end(), *m_grep);
  }

  // Before the first line of another file.
  void startFile() {
    m_lineKept = true;
    m_anyLine = false;
  }
  bool filtersLevels() const { return m_level.has_value(); }
  bool levelsSeen() const { return m_levelsSeen; }

 private:
  std::string m_since;
  std::optional<int> m_level;
  std::optional<std::regex> m_grep;
  bool m_lineKept = true;
  bool m_anyLine = false;
  bool m_levelsSeen = false;
};

// A line as --json prints it.
Json LineJson(const std::string& base, std::string_view line) {
  Json out = {{"log", base}, {"line", line}};
  yq::LogLinePrefix prefix;
  if (!yq::ParseLogLinePrefix(line, prefix)) return out;
  out["pid"] = prefix.processId;
  out["tid"] = prefix.threadId;
  out["time"] = prefix.timestamp;
  out["level"] = prefix.hasLevel ? Json(prefix.level) : Json(nullptr);
  out["job"] = prefix.jobId;
  out["function"] = prefix.function;
  out["message"] = prefix.rest;
  return out;
}

bool Print(const std::string& base, std::string_view line, bool json) {
  if (json) {
    std::cout << LineJson(base, line).dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    std::cout.write(line.data(), static_cast<std::streamsize>(line.size())) << "\n";
  }
  std::cout.flush();
  return static_cast<bool>(std::cout);
}

// Keeps the last `count` lines that pass.
class LastLines {
 public:
  LastLines(LineFilter& filter, std::size_t count) : m_filter(filter), m_count(count) {}
  void add(std::string_view line) {
    if (!m_filter.pass(line) || m_count == 0) return;
    m_lines.emplace_back(line);
    if (m_lines.size() > m_count) m_lines.pop_front();
  }
  std::deque<std::string>& lines() { return m_lines; }

 private:
  LineFilter& m_filter;
  std::size_t m_count;
  std::deque<std::string> m_lines;
};

// Every complete line of `fd` from its offset on; a last line without its
// line end is left unread (the descriptor is put back before it), for
// following to read whole.
void ReadLines(int fd, LastLines& last) {
  std::string pending;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      last.add(std::string_view(pending).substr(start, end - start));
    }
    pending.erase(0, start);
  }
  if (!pending.empty()) ::lseek(fd, -static_cast<off_t>(pending.size()), SEEK_CUR);
}

}  // namespace

void AddTailOptions(CLI::App* command, TailOptions& options) {
  const CLI::Validator lineCount(
      [](std::string& text) {
        long long count = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
        const bool whole = !text.empty() && error == std::errc() && end == text.data() + text.size() && count >= 0;
        return whole ? std::string() : "[" + text + "] is not a number of lines (0 or more)";
      },
      "N");
  command->add_option("-n,--lines", options.lines, "How many lines (10)")->check(lineCount);
  command->add_flag("-f,--follow", options.follow, "Keep printing new lines, across rollovers, until interrupted");
  command->add_option("--since", options.since,
                      "Only lines from this time on: 2024-05-01, \"2024-05-01 13:30\", 13:30, today, yesterday, "
                      "-15m, \"2h ago\"");
  command->add_option("--level", options.level,
                      "Only lines of this level or lower (-1 errors, 0 plain); lines carry their level while "
                      "EventManager/ShowLogLevelInLogs is on");
  command->add_option("--grep", options.grep,
                      "Only lines matching this regular expression (case-insensitive unless it holds a capital)");
  command->add_flag("--json", options.json, "Print each line as one JSON object on a line of its own (for scripts)");
}

int TailLog(const std::string& folder, const std::string& base, const TailOptions& options) {
  LineFilter filter;
  if (!filter.prepare(options)) return kExitUsage;
  const std::string path = FXPath::Append(folder, base + ".log");
  yq::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file && (errno != ENOENT || !options.follow)) {
    return Fail("cannot open [" + path + "]: " + yq::ErrnoText(errno), errno == ENOENT ? kExitNotFound : kExitFailure);
  }
  if (!file) Note("waiting for [" + path + "]");

  const auto count = static_cast<std::size_t>(options.lines);
  LastLines current(filter, count);
  if (file) ReadLines(file.get(), current);
  std::deque<std::string>& last = current.lines();
  if (last.size() < count) {
    for (const std::string& version : yq::ListLogVersions(folder, base)) {
      if (last.size() >= count) break;
      if (!version.ends_with(".log")) continue;  // compressed versions are not read
      const yq::UniqueFd older(::open(FXPath::Append(folder, version).c_str(), O_RDONLY | O_CLOEXEC));
      if (!older) continue;  // pruned meanwhile
      LineFilter versionFilter = filter;  // the current file's state goes on when following
      versionFilter.startFile();
      LastLines before(versionFilter, count - last.size());
      ReadLines(older.get(), before);
      last.insert(last.begin(), before.lines().begin(), before.lines().end());
    }
  }
  for (const std::string& line : last) {
    if (!Print(base, line, options.json)) return kExitOk;
  }
  if (filter.filtersLevels() && !filter.levelsSeen()) {
    Note("no line of [" + path + "] carries its level: levels are written while EventManager/ShowLogLevelInLogs is on");
  }
  if (!options.follow) return kExitOk;
  return FollowFile(path, std::move(file), [&](std::string_view line) {
    return !filter.pass(line) || Print(base, line, options.json);
  });
}

}  // namespace zn::admin
