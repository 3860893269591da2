// Shared pieces of the log maintenance tests: a fixture with the process log
// at full detail in a folder of its own and a separate folder to maintain,
// files with chosen ages, the folder's contents and the log's lines.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "helpers/TempDir.h"
#include "log/LogTestUtil.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/LogVersions.h"

namespace zn::test {

inline constexpr long long kHour = 3600;
inline constexpr long long kDay = 86400;

// One line of the process log: "<pid> <tid> <date> <time> L<level> <job>
// <function> <message>" (the maintenance lines carry no context).
struct MaintenanceLine {
  int level = 0;
  long long job = 0;
  std::string function;
  std::string message;
};

inline std::vector<MaintenanceLine> ParseMaintenanceLines(const std::string& text) {
  std::vector<MaintenanceLine> lines;
  std::istringstream in(text);
  for (std::string row; std::getline(in, row);) {
    std::size_t pos = 0;
    std::vector<std::string> fields;
    for (int i = 0; i < 7 && pos != std::string::npos; ++i) {
      const std::size_t blank = row.find(' ', pos);
      fields.push_back(row.substr(pos, blank == std::string::npos ? std::string::npos : blank - pos));
      pos = blank == std::string::npos ? blank : blank + 1;
    }
    if (fields.size() != 7 || pos == std::string::npos || fields[4].size() < 2 || fields[4][0] != 'L') continue;
    MaintenanceLine line;
    line.level = std::atoi(fields[4].c_str() + 1);
    line.job = std::atoll(fields[5].c_str());
    line.function = fields[6];
    line.message = row.substr(pos);
    lines.push_back(std::move(line));
  }
  return lines;
}

// Writes `content` to `path` and sets its last write (and access) time to
// `age` seconds ago.
inline void MakeFile(const std::string& path, const std::string& content, long long age) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  const struct timespec when = {static_cast<time_t>(::time(nullptr) - age), 0};
  const struct timespec times[2] = {when, when};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

inline long long MtimeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : -1;
}

// The version name the writer gives a rollover `age` seconds ago.
inline std::string VersionName(const std::string& base, long long age) {
  return yq::LogVersionFileName(base, static_cast<int64_t>(::time(nullptr)) - age);
}

// The names in a folder (not below it).
inline std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Files planned in a folder with what pruning must leave of them.
enum class Outcome { kStays, kCompressed, kDeleted };

struct PlannedFile {
  std::string name;
  std::string content;
  long long age = 0;
  Outcome outcome = Outcome::kStays;
  long long mtime = 0;  // as set, in seconds
};

class FolderPlan {
 public:
  explicit FolderPlan(std::string folder) : m_folder(std::move(folder)) {}

  // A file with content of its own (some bytes of every value among the text).
  PlannedFile Add(const std::string& name, long long age, Outcome outcome) {
    std::string content;
    for (int i = 0; i < 40; ++i) content += name + " line " + std::to_string(i) + "\n";
    for (int i = 0; i < 256; ++i) content.push_back(static_cast<char>(i));
    MakeFile(Path(name), content, age);
    return Record(name, age, outcome, content);
  }
  // A file put there by other means.
  PlannedFile Record(const std::string& name, long long age, Outcome outcome, std::string content = {}) {
    m_files.push_back({name, std::move(content), age, outcome, MtimeOf(Path(name))});
    return m_files.back();
  }
  // A version of `base` rolled over `age` seconds ago.
  PlannedFile Version(const std::string& base, long long age, Outcome outcome) {
    return Add(VersionName(base, age), age, outcome);
  }

  // The names the folder must hold after pruning.
  std::set<std::string> Expected() const {
    std::set<std::string> names;
    for (const PlannedFile& file : m_files) {
      if (file.outcome == Outcome::kStays) names.insert(file.name);
      if (file.outcome == Outcome::kCompressed) names.insert(file.name + ".zip");
    }
    return names;
  }
  const std::vector<PlannedFile>& Files() const { return m_files; }
  const std::string& Folder() const { return m_folder; }
  std::string Path(const std::string& name) const { return (std::filesystem::path(m_folder) / name).string(); }

 private:
  std::string m_folder;
  std::vector<PlannedFile> m_files;
};

// A folder to maintain and the process log at every level, apart from it.
class MaintenanceTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    zn::LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 15);
    Open();
    EvDebug().setDebugLevel(15);
  }

  std::string Logs(const std::string& name) const { return m_logs.file(name); }
  std::vector<MaintenanceLine> Lines() const { return ParseMaintenanceLines(Content()); }

  // The line with exactly this message, or null.
  const MaintenanceLine* Line(const std::string& message) const {
    m_lines = Lines();
    for (const MaintenanceLine& line : m_lines) {
      if (line.message == message) return &m_lines[&line - m_lines.data()];
    }
    return nullptr;
  }
  // True when a line at `level` starts with `head` and ends with `tail`.
  bool HasLine(int level, const std::string& head, const std::string& tail = std::string()) const {
    for (const MaintenanceLine& line : Lines()) {
      if (line.level == level && line.message.starts_with(head) && line.message.ends_with(tail) &&
          line.message.size() >= head.size() + tail.size()) {
        return true;
      }
    }
    return false;
  }
  int Count(const std::string& head) const {
    int n = 0;
    for (const MaintenanceLine& line : Lines()) n += line.message.starts_with(head) ? 1 : 0;
    return n;
  }

  TempDir m_logs;
  mutable std::vector<MaintenanceLine> m_lines;
};

}  // namespace zn::test
