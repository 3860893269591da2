#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/LogVersions.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadFile(path));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

bool IsHeaderLine(const std::string& line) { return line.find(" CYqLogger ") != std::string::npos; }

std::vector<std::string> MessageLines(const std::string& path) {
  std::vector<std::string> lines = Lines(path);
  lines.erase(std::remove_if(lines.begin(), lines.end(), IsHeaderLine), lines.end());
  return lines;
}

// The versions oldest first, then the current file.
std::vector<std::string> FilesInWriteOrder(const TempDir& dir, const std::string& base) {
  std::vector<std::string> files = zn::detail::ListLogVersions(dir.path(), base);
  std::reverse(files.begin(), files.end());
  files.push_back(base + ".log");
  return files;
}

// Descriptors of this process that point at `path`.
int OpenDescriptorsTo(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return -1;
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error && target == resolved) ++count;
  }
  return count;
}

// After `text`: the number in "<text><number>", or -1.
int NumberAfter(const std::string& line, const std::string& text) {
  const auto at = line.find(text);
  return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + text.size());
}

bool IsDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The columns of a line: "<pid> <tid> <date> <time> [L<level> ]<job>[#aux] <function>[:line] <message>".
struct LineParts {
  std::string pid, tid, date, time, level, job, function, message;
};

bool SplitLine(const std::string& line, LineParts& parts) {
  std::size_t at = 0;
  const auto next = [&](std::string& out) {
    const auto space = line.find(' ', at);
    if (space == std::string::npos) return false;
    out = line.substr(at, space - at);
    at = space + 1;
    return true;
  };
  parts = LineParts();
  if (!next(parts.pid) || !next(parts.tid) || !next(parts.date) || !next(parts.time) || !next(parts.job)) return false;
  if (parts.job.starts_with("L")) {
    parts.level = parts.job;
    if (!next(parts.job)) return false;
  }
  if (!next(parts.function)) return false;
  parts.message = line.substr(at);
  const std::string& d = parts.date;
  const std::string& t = parts.time;
  return IsDigits(parts.pid) && parts.tid.size() >= 4 &&
         parts.tid.find_first_not_of("0123456789abcdef") == std::string::npos && d.size() == 10 && d[4] == '-' &&
         d[7] == '-' && IsDigits(d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2)) && t.size() == 12 &&
         t[2] == ':' && t[5] == ':' && t[8] == '.' &&
         IsDigits(t.substr(0, 2) + t.substr(3, 2) + t.substr(6, 2) + t.substr(9, 3));
}

struct Writer {
  CYqLogger logger;
  Writer(const TempDir& dir, const std::string& base, bool scratch = false) {
    EXPECT_TRUE(logger.Initialize(base, dir.path(), 100, false, scratch).IsSuccess());
  }
};

TEST(CYqLogger, InitializeRejectsBadArgumentsAndNamesTheFile) {
  TempDir dir;
  CYqLogger writer;
  EXPECT_TRUE(writer.Initialize("", dir.path(), 1, false, false).Is(123));
  EXPECT_TRUE(writer.Initialize("a/b", dir.path(), 1, false, false).Is(123));
  EXPECT_TRUE(writer.Initialize("app", "", 1, false, false).Is(3));
  ASSERT_TRUE(writer.Initialize("app", dir.path(), 1, false, false).IsSuccess());
  EXPECT_TRUE(writer.Initialize("app", dir.path(), 1, false, false).Is(183));
  EXPECT_EQ(writer.GetLogFilePath(), dir.file("app.log"));
  EXPECT_EQ(writer.GetAppName(), "app");
  // Nothing is created before the first line.
  EXPECT_FALSE(FXFile::Exists(dir.file("app.log")));

  // Equal lock names mean the same file, however the folder is spelled.
  EXPECT_EQ(CYqLogger::GetLockName("app", dir.path()), CYqLogger::GetLockName("app", dir.path() + "/"));
  EXPECT_EQ(writer.GetLockName(), CYqLogger::GetLockName("app", dir.path() + "/"));
  EXPECT_NE(CYqLogger::GetLockName("app", dir.path()), CYqLogger::GetLockName("app2", dir.path()));

  writer.SetLogFileSize(5);
  EXPECT_EQ(writer.GetLogFileSize(), 5u);
  EXPECT_EQ(writer.GetLogFileSizeBytes(), 5u * 1024 * 1024);
  writer.SetLoggingMode(2);
  writer.SetLoggingMode(7);  // not a mode: ignored
  EXPECT_EQ(writer.GetLoggingMode(), 2);
}

TEST(CYqLogger, LineCarriesEveryFieldInItsPlace) {
  TempDir dir;
  Writer w(dir, "layout");
  const std::time_t before = std::time(nullptr);
  CYqLogger::SetShowLogLevel(false);
  w.logger.LogMessage(1, 7, "Cls::Fn", 42, 99, "ctx a", "value [%d] %s", 5, "end");
  w.logger.LogMessage(0, 0, nullptr, 0, 0, nullptr, "bare");
  w.logger.LogMessage(0, 0, "", 0, -3, "", "empty fields");
  CYqLogger::SetShowLogLevel(true);
  w.logger.LogMessage(-1, 0, "F", 0, 0, nullptr, "shown");
  w.logger.LogMessage(12, -2, "F", 3, 0, nullptr, "shown too");
  CYqLogger::SetShowLogLevel(false);
  const std::time_t after = std::time(nullptr);

  const std::vector<std::string> lines = MessageLines(dir.file("layout.log"));
  ASSERT_EQ(lines.size(), 5u);
  std::vector<LineParts> parts(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_TRUE(SplitLine(lines[i], parts[i])) << lines[i];
    EXPECT_EQ(parts[i].pid, std::to_string(::getpid()));
    EXPECT_EQ(std::stoul(parts[i].tid, nullptr, 16), static_cast<unsigned long>(::gettid()));
    struct tm when {};
    ASSERT_EQ(std::sscanf((parts[i].date + " " + parts[i].time).c_str(), "%d-%d-%d %d:%d:%d", &when.tm_year,
                          &when.tm_mon, &when.tm_mday, &when.tm_hour, &when.tm_min, &when.tm_sec),
              6);
    when.tm_year -= 1900;
    when.tm_mon -= 1;
    when.tm_isdst = -1;
    const std::time_t stamped = std::mktime(&when);  // the time is local
    EXPECT_GE(stamped, before - 1);
    EXPECT_LE(stamped, after + 1);
  }
  EXPECT_EQ(parts[0].level, "");
  EXPECT_EQ(parts[0].job, "99#7");
  EXPECT_EQ(parts[0].function, "Cls::Fn:42");
  EXPECT_EQ(parts[0].message, "{ctx a} value [5] end");

  EXPECT_EQ(parts[1].job, "0");
  EXPECT_EQ(parts[1].function, "-");
  EXPECT_EQ(parts[1].message, "bare");
  EXPECT_EQ(parts[2].job, "-3");
  EXPECT_EQ(parts[2].function, "-");
  EXPECT_EQ(parts[2].message, "empty fields");

  EXPECT_EQ(parts[3].level, "L-1");
  EXPECT_EQ(parts[3].job, "0");
  EXPECT_EQ(parts[3].message, "shown");
  EXPECT_EQ(parts[4].level, "L12");
  EXPECT_EQ(parts[4].job, "0#-2");
  EXPECT_EQ(parts[4].function, "F:3");
  EXPECT_EQ(parts[4].message, "shown too");
}

TEST(CYqLogger, LevelFilterDropsBeforeFormatting) {
  TempDir dir;
  Writer w(dir, "levels");
  w.logger.SetLevel(1);
  // A dropped message must not be expanded: this argument would crash it.
  const char* poison = reinterpret_cast<const char*>(16);
  w.logger.LogMessage(2, 0, "F", 0, 0, nullptr, "dropped %s", poison);
  w.logger.LogMessage(1, 0, "F", 0, 0, nullptr, "level one");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "level zero");
  w.logger.LogMessage(-1, 0, "F", 0, 0, nullptr, "error");
  w.logger.SetLevel(-2);
  w.logger.LogMessage(-1, 0, "F", 0, 0, nullptr, "error dropped %s", poison);
  w.logger.LogMessage("raw text ignores the level");
  w.logger.SetLevel(0x7FFFFFFF);
  w.logger.LogMessage(1000, 0, "F", 0, 0, nullptr, "anything");

  const std::vector<std::string> lines = MessageLines(dir.file("levels.log"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find("level one"), std::string::npos);
  EXPECT_NE(lines[1].find("level zero"), std::string::npos);
  EXPECT_NE(lines[2].find(" error"), std::string::npos);
  EXPECT_EQ(lines[3], "raw text ignores the level");
  EXPECT_NE(lines[4].find("anything"), std::string::npos);
}

TEST(CYqLogger, HeaderOnlyAtTheTopOfFilesTheWriterCreates) {
  TempDir dir;
  {
    Writer w(dir, "head");
    w.logger.SetPlatformInformation("host1", "host1b", "client1", "hub1", "hubclient1", "Debian 12", "10.0.0.1",
                                    "11.0.80", "Instance001", "zntest", 4242);
    w.logger.SetProcessorInformation("Server", "x86_64", 8);
    w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "one");
    w.logger.CloseLogFile(false);
    w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "two");
  }
  {
    Writer again(dir, "head");  // a second writer of an existing file
    again.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "three");
  }
  const std::vector<std::string> lines = Lines(dir.file("head.log"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_NE(lines[0].find("Log file [" + dir.file("head.log") + "] created"), std::string::npos) << lines[0];
  std::string header;
  int headerLines = 0;
  for (const auto& line : lines) {
    if (line.find("] created") != std::string::npos) ++headerLines;
    if (IsHeaderLine(line)) header += line + "\n";
  }
  EXPECT_EQ(headerLines, 1);
  for (const char* item : {"host1", "client1", "hub1", "hubclient1", "Debian 12", "10.0.0.1", "11.0.80",
                           "Instance001", "zntest", "4242", "Server", "x86_64"}) {
    EXPECT_NE(header.find(item), std::string::npos) << item;
  }
  const std::vector<std::string> messages = MessageLines(dir.file("head.log"));
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_NE(messages[2].find("three"), std::string::npos);
  // The header comes before every message.
  EXPECT_TRUE(IsHeaderLine(lines[lines.size() - 4]));

  Writer scratch(dir, "scratch", true);
  scratch.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "only line");
  const std::vector<std::string> scratchLines = Lines(dir.file("scratch.log"));
  ASSERT_EQ(scratchLines.size(), 1u);
  EXPECT_NE(scratchLines[0].find("only line"), std::string::npos);
}

std::vector<std::string> g_syslogTexts;
void RecordSyslog(const char* text) { g_syslogTexts.emplace_back(text); }

TEST(CYqLogger, EveryMessageEndsInExactlyOneLineEnd) {
  TempDir dir;
  Writer w(dir, "ends", true);
  w.logger.SetSyslogCallback(&RecordSyslog);
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "plain");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "one\n");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "many\r\n\n\n");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", "");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "inner\nbreak");
  w.logger.LogMessage("raw\n\n");
  w.logger.LogMessage("raw2");
  w.logger.LogMessageSyslog("to syslog\n");
  const std::string text = ReadFile(dir.file("ends.log"));
  EXPECT_EQ(text.find("\n\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
  const std::vector<std::string> lines = Lines(dir.file("ends.log"));
  ASSERT_EQ(lines.size(), 9u) << text;
  EXPECT_TRUE(lines[0].ends_with(" F plain"));
  EXPECT_TRUE(lines[1].ends_with(" F one"));
  EXPECT_TRUE(lines[2].ends_with(" F many"));
  EXPECT_TRUE(lines[3].ends_with(" F "));
  EXPECT_TRUE(lines[4].ends_with(" F inner"));
  EXPECT_EQ(lines[5], "break");
  EXPECT_EQ(lines[6], "raw");
  EXPECT_EQ(lines[7], "raw2");
  EXPECT_TRUE(lines[8].ends_with(" Syslog to syslog"));
  EXPECT_EQ(g_syslogTexts, (std::vector<std::string>{"to syslog\n"}));
  w.logger.SetSyslogCallback(nullptr);
}

TEST(CYqLogger, LongMessagesAreWrittenWholeAroundTheBufferSize) {
  TempDir dir;
  Writer w(dir, "long", true);
  std::vector<std::string> messages;
  for (std::size_t size = 3950; size <= 4110; ++size) messages.push_back(std::string(size, char('a' + size % 26)));
  messages.push_back(std::string(10000, 'L'));
  messages.push_back(std::string(200000, 'H'));
  for (const auto& message : messages) w.logger.LogMessage(0, 0, "Long::Fn", 1, 0, "ctx", "%s<end>\n", message.c_str());
  const std::vector<std::string> lines = Lines(dir.file("long.log"));
  ASSERT_EQ(lines.size(), messages.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string tail = " Long::Fn:1 {ctx} " + messages[i] + "<end>";
    ASSERT_TRUE(lines[i].ends_with(tail)) << "message of " << messages[i].size() << " bytes, line of "
                                          << lines[i].size();
  }
}

// Writes `count` numbered lines "N<i> <padding>" from one thread.
void WriteNumbered(CYqLogger& logger, int first, int count) {
  const std::string padding(60, '.');
  for (int i = first; i < first + count; ++i) logger.LogMessage(0, 0, "Seq", 0, 0, nullptr, "N%d %s", i, padding.c_str());
}

// The numbers of all message lines, in file write order.
std::vector<int> NumbersInOrder(const TempDir& dir, const std::string& base) {
  std::vector<int> numbers;
  for (const auto& file : FilesInWriteOrder(dir, base)) {
    for (const auto& line : MessageLines(dir.file(file))) numbers.push_back(NumberAfter(line, " Seq N"));
  }
  return numbers;
}

TEST(CYqLogger, RolloverKeepsEveryLineInOrderInStampedVersions) {
  TempDir dir;
  Writer w(dir, "roll");
  constexpr unsigned long long kLimit = 2000;
  w.logger.SetLogFileSizeBytes(kLimit);
  w.logger.SetMaxVersions(1000);
  WriteNumbered(w.logger, 0, 300);

  const std::vector<std::string> versions = zn::detail::ListLogVersions(dir.path(), "roll");
  ASSERT_GE(versions.size(), 10u);
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const std::string& name = versions[i];
    EXPECT_TRUE(name.size() == 23 && name.starts_with("roll_") && name.ends_with(".log") &&
                IsDigits(name.substr(5, 14)))
        << name;
    if (i > 0) {
      EXPECT_GT(versions[i - 1], name);  // strictly newer first
    }
    const std::string path = dir.file(versions[i]);
    const auto size = fs::file_size(path);
    EXPECT_GE(size, kLimit) << versions[i];  // never rolled early
    EXPECT_LT(size, kLimit + 200) << versions[i];
    const std::vector<std::string> lines = Lines(path);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Log file [" + dir.file("roll.log") + "] created"), std::string::npos);
  }
  const std::vector<int> numbers = NumbersInOrder(dir, "roll");
  ASSERT_EQ(numbers.size(), 300u);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(numbers[static_cast<std::size_t>(i)], i);
}

TEST(CYqLogger, RolloverPrunesToTheVersionCountAndKeepsTheNewestLines) {
  TempDir dir;
  Writer w(dir, "prune");
  w.logger.SetLogFileSizeBytes(1500);
  w.logger.SetMaxVersions(3);
  WriteNumbered(w.logger, 0, 400);
  const std::vector<std::string> versions = zn::detail::ListLogVersions(dir.path(), "prune");
  EXPECT_EQ(versions.size(), 3u);
  const std::vector<int> numbers = NumbersInOrder(dir, "prune");
  ASSERT_FALSE(numbers.empty());
  EXPECT_EQ(numbers.back(), 399);
  for (std::size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] + 1);
  EXPECT_GT(numbers.size(), 3u * 10);  // three full versions and the current file
}

TEST(CYqLogger, RetentionPrunesOldVersionsOnlyOfThisLog) {
  TempDir dir;
  const auto touch = [&](const std::string& name, long ageSeconds) {
    std::FILE* file = std::fopen(dir.file(name).c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("old\n", file);
    std::fclose(file);
    const std::time_t when = std::time(nullptr) - ageSeconds;
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file(name).c_str(), times, 0), 0);
  };
  touch("keep_20200101000000.log", 10 * 86400);
  touch("keep_20200102000000.log.zip", 3 * 86400);
  touch("keep_20200103000000.log", 60);
  touch("keep_notes.txt", 10 * 86400);
  touch("other_20200101000000.log", 10 * 86400);

  Writer w(dir, "keep");
  w.logger.SetRetainLogsTill(2 * 86400);
  w.logger.SetMaxVersions(100);
  w.logger.SetLogFileSizeBytes(100);
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", std::string(150, 'x').c_str());

  EXPECT_FALSE(FXFile::Exists(dir.file("keep_20200101000000.log")));
  EXPECT_FALSE(FXFile::Exists(dir.file("keep_20200102000000.log.zip")));
  EXPECT_TRUE(FXFile::Exists(dir.file("keep_20200103000000.log")));
  EXPECT_TRUE(FXFile::Exists(dir.file("keep_notes.txt")));
  EXPECT_TRUE(FXFile::Exists(dir.file("other_20200101000000.log")));
  const std::vector<std::string> versions = zn::detail::ListLogVersions(dir.path(), "keep");
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(versions[1], "keep_20200103000000.log");
  EXPECT_GT(versions[0], versions[1]);
  EXPECT_NE(ReadFile(dir.file(versions[0])).find(std::string(150, 'x')), std::string::npos);
}

TEST(CYqLogger, PerLineModeHoldsNoDescriptorAndStillRollsOver) {
  TempDir dir;
  Writer w(dir, "perline");
  w.logger.SetKeepLogFileOpen(false);
  EXPECT_FALSE(w.logger.GetKeepLogFileOpen());
  w.logger.LogMessage(0, 0, "Seq", 0, 0, nullptr, "N0 first");
  EXPECT_EQ(OpenDescriptorsTo(dir.file("perline.log")), 0);
  w.logger.SetKeepLogFileOpen(true);
  w.logger.LogMessage(0, 0, "Seq", 0, 0, nullptr, "N1 second");
  EXPECT_EQ(OpenDescriptorsTo(dir.file("perline.log")), 1);
  w.logger.SetKeepLogFileOpen(false);
  w.logger.CloseLogFile(false);
  EXPECT_EQ(OpenDescriptorsTo(dir.file("perline.log")), 0);

  w.logger.SetLogFileSizeBytes(1500);
  w.logger.SetMaxVersions(1000);
  w.logger.SetLoggingMode(CYqLogger::kLoggingModeDurable);
  WriteNumbered(w.logger, 2, 98);
  EXPECT_EQ(OpenDescriptorsTo(dir.file("perline.log")), 0);
  EXPECT_GE(zn::detail::ListLogVersions(dir.path(), "perline").size(), 3u);
  const std::vector<int> numbers = NumbersInOrder(dir, "perline");
  ASSERT_EQ(numbers.size(), 100u);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(numbers[static_cast<std::size_t>(i)], i);
}

// Logs until `path` holds a line with the marker, for at most five seconds.
bool LogUntilWrittenTo(CYqLogger& logger, const std::string& path, int& marker) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    logger.LogMessage(0, 0, "F", 0, 0, nullptr, "probe %d", ++marker);
    if (ReadFile(path).find("probe " + std::to_string(marker) + "\n") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(CYqLogger, FileRemovedOrRenamedBySomeoneElseIsReplacedSoon) {
  TempDir dir;
  Writer w(dir, "gone");
  const std::string path = dir.file("gone.log");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "before");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  int marker = 0;
  ASSERT_TRUE(LogUntilWrittenTo(w.logger, path, marker));
  EXPECT_NE(ReadFile(path).find("] created"), std::string::npos);

  ASSERT_EQ(::rename(path.c_str(), dir.file("moved.txt").c_str()), 0);
  ASSERT_TRUE(LogUntilWrittenTo(w.logger, path, marker));
  EXPECT_EQ(OpenDescriptorsTo(dir.file("moved.txt")), 0);  // the old file was let go

  // Even the folder may go away.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ASSERT_EQ(::unlink(dir.file("moved.txt").c_str()), 0);
  ASSERT_EQ(::rmdir(dir.path().c_str()), 0);
  ASSERT_TRUE(LogUntilWrittenTo(w.logger, path, marker));
}

TEST(CYqLogger, CloseLogFileReleasesAndTheNextLineReopens) {
  TempDir dir;
  Writer w(dir, "close");
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "one");
  EXPECT_EQ(OpenDescriptorsTo(dir.file("close.log")), 1);
  w.logger.CloseLogFile(true);
  EXPECT_EQ(OpenDescriptorsTo(dir.file("close.log")), 0);
  w.logger.CloseLogFile(false);  // closing twice is harmless
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "two");
  const std::vector<std::string> lines = MessageLines(dir.file("close.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[1].ends_with("two"));

  w.logger.Retire();
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "after retire");
  w.logger.LogMessage("raw after retire");
  EXPECT_EQ(MessageLines(dir.file("close.log")).size(), 2u);
  EXPECT_EQ(OpenDescriptorsTo(dir.file("close.log")), 0);
}

std::vector<std::string> g_failures;
void RecordFailure(const char* text) { g_failures.emplace_back(text); }

TEST(CYqLogger, WriteFailuresAreReportedOncePerRun) {
  TempDir dir;
  const std::string blocker = dir.file("blocker");
  std::FILE* file = std::fopen(blocker.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  CYqLogger writer;
  ASSERT_TRUE(writer.Initialize("blocked", blocker + "/logs", 1, false, false).IsSuccess());
  EXPECT_FALSE(writer.CanUserWriteToLog());  // a file is in the way, even for root
  writer.SetSyslogCallback(&RecordFailure);
  for (int i = 0; i < 5; ++i) writer.LogMessage(0, 0, "F", 0, 0, nullptr, "lost %d", i);
  ASSERT_EQ(g_failures.size(), 1u);
  EXPECT_NE(g_failures[0].find(blocker + "/logs"), std::string::npos) << g_failures[0];

  // Once the way is clear the writer recovers, and a new failure is news.
  ASSERT_EQ(::unlink(blocker.c_str()), 0);
  writer.LogMessage(0, 0, "F", 0, 0, nullptr, "recovered");
  EXPECT_NE(ReadFile(blocker + "/logs/blocked.log").find("recovered"), std::string::npos);
  EXPECT_TRUE(writer.CanUserWriteToLog());
  writer.CloseLogFile(false);
  zn::test::RemoveLogSharedState(blocker);  // the folder is about to become a file again
  fs::remove_all(blocker);
  file = std::fopen(blocker.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  writer.LogMessage(0, 0, "F", 0, 0, nullptr, "lost again");
  EXPECT_EQ(g_failures.size(), 2u);
  writer.SetSyslogCallback(nullptr);
}

TEST(CYqLogger, CanUserWriteToLogMakesAMissingFolder) {
  TempDir dir;
  CYqLogger writer;
  ASSERT_TRUE(writer.Initialize("probe", dir.file("a/b/c"), 1, false, true).IsSuccess());
  EXPECT_TRUE(writer.CanUserWriteToLog());
  EXPECT_TRUE(FXFile::IsDirectory(dir.file("a/b/c")));
  EXPECT_FALSE(FXFile::Exists(dir.file("a/b/c/probe.log")));  // asking writes no log
}

TEST(CYqLogger, CanUserWriteToLogIsFalseForAReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  TempDir dir;
  const std::string folder = dir.file("readonly");
  ASSERT_EQ(::mkdir(folder.c_str(), 0555), 0);
  CYqLogger writer;
  ASSERT_TRUE(writer.Initialize("probe", folder, 1, false, true).IsSuccess());
  EXPECT_FALSE(writer.CanUserWriteToLog());
  ::chmod(folder.c_str(), 0755);
}

std::mutex g_hookMutex;
std::vector<std::pair<int, std::string>> g_hookLines;
CYqLogger* g_hookWriter = nullptr;

bool Hook(CYqLogger* writer, int level, const char* line) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  if (writer != g_hookWriter) return false;
  g_hookLines.emplace_back(level, line);
  return std::string(line).find("SECRET") != std::string::npos;
}

TEST(CYqLogger, MessageHookSeesEveryLineAndMaySuppressIt) {
  TempDir dir;
  Writer w(dir, "hooked", true);
  g_hookWriter = &w.logger;
  CYqLogger::SetLogMessageHook(&Hook);
  w.logger.LogMessage(3, 0, "F", 0, 0, nullptr, "visible %d", 1);
  w.logger.LogMessage(-1, 0, "F", 0, 0, nullptr, "SECRET %d", 2);
  w.logger.LogMessage(500, 0, "F", 0, 0, nullptr, "filtered before the hook");
  w.logger.LogMessage("raw SECRET");
  CYqLogger::SetLogMessageHook(nullptr);
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "SECRET after the hook");

  ASSERT_EQ(g_hookLines.size(), 3u);
  EXPECT_EQ(g_hookLines[0].first, 3);
  EXPECT_TRUE(g_hookLines[0].second.ends_with(" F visible 1\n"));
  EXPECT_EQ(g_hookLines[1].first, -1);
  EXPECT_TRUE(g_hookLines[1].second.ends_with(" F SECRET 2\n"));
  EXPECT_EQ(g_hookLines[2].second, "raw SECRET\n");
  const std::vector<std::string> lines = Lines(dir.file("hooked.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].ends_with("visible 1"));
  EXPECT_TRUE(lines[1].ends_with("SECRET after the hook"));
}

TEST(CYqLogger, ThreadsLoseAndTearNoLineAcrossRollovers) {
  TempDir dir;
  Writer w(dir, "threads");
  w.logger.SetLogFileSizeBytes(16 * 1024);
  w.logger.SetMaxVersions(100000);
  constexpr int kThreads = 8, kLines = 5000;
  const std::string padding(50, '=');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < kLines; ++n) w.logger.LogMessage(0, 0, "Worker", 0, 0, nullptr, "T%d N%d %s", t, n, padding.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  const std::vector<std::string> files = FilesInWriteOrder(dir, "threads");
  EXPECT_GT(files.size(), 20u);
  std::vector<int> next(kThreads, 0);  // each thread's lines in order, none missing
  int bad = 0;
  for (const auto& file : files) {
    for (const auto& line : MessageLines(dir.file(file))) {
      const auto at = line.find(" Worker T");
      int t = -1, n = -1, consumed = 0;
      const bool parsed = at != std::string::npos &&
                          std::sscanf(line.c_str() + at, " Worker T%d N%d %n", &t, &n, &consumed) == 2 && t >= 0 &&
                          t < kThreads && line.substr(at + static_cast<std::size_t>(consumed)) == padding;
      if (!parsed || n != next[static_cast<std::size_t>(t)]) {
        if (++bad <= 5) ADD_FAILURE() << file << ": unexpected line [" << line << "]";
        continue;
      }
      ++next[static_cast<std::size_t>(t)];
    }
  }
  EXPECT_EQ(bad, 0);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[static_cast<std::size_t>(t)], kLines) << "thread " << t;
}

TEST(CYqLogger, RolloverByAnotherProcessIsFollowed) {
  TempDir dir;
  Writer w(dir, "shared");
  w.logger.SetMaxVersions(10);
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "parent before");

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CYqLogger other;
    if (other.Initialize("shared", dir.path(), 100, false, false).IsError()) ::_exit(2);
    other.SetLogFileSizeBytes(1);  // the first line rolls the file over
    other.SetMaxVersions(10);
    other.LogMessage(0, 0, "F", 0, 0, nullptr, "child rolls");
    other.LogMessage(0, 0, "F", 0, 0, nullptr, "child after");
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "parent after");
  const std::vector<std::string> versions = zn::detail::ListLogVersions(dir.path(), "shared");
  ASSERT_GE(versions.size(), 1u);
  const std::string oldest = ReadFile(dir.file(versions.back()));
  EXPECT_NE(oldest.find("parent before"), std::string::npos);
  EXPECT_EQ(oldest.find("parent after"), std::string::npos);

  const std::vector<std::string> current = MessageLines(dir.file("shared.log"));
  ASSERT_FALSE(current.empty());
  EXPECT_TRUE(current.back().ends_with("parent after"));
  EXPECT_EQ(current.back().rfind(std::to_string(::getpid()) + " ", 0), 0u);
  std::string all;
  for (const auto& file : FilesInWriteOrder(dir, "shared")) all += ReadFile(dir.file(file));
  const auto childLine = all.find("child rolls");
  ASSERT_NE(childLine, std::string::npos);
  const auto lineStart = all.rfind('\n', childLine) + 1;
  EXPECT_EQ(all.compare(lineStart, std::to_string(child).size() + 1, std::to_string(child) + " "), 0);
}

TEST(CYqLogger, ForkedChildrenShareAnInheritedWriterSafely) {
  TempDir dir;
  Writer w(dir, "inherited");
  w.logger.SetLogFileSizeBytes(4096);
  w.logger.SetMaxVersions(100000);
  w.logger.LogMessage(0, 0, "Kid", 0, 0, nullptr, "P9 N0 opened by the parent");  // descriptor and lock inherited

  constexpr int kChildren = 3, kLines = 2000;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int n = 0; n < kLines; ++n) w.logger.LogMessage(0, 0, "Kid", 0, 0, nullptr, "P%d N%d", c, n);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  const std::vector<std::string> files = FilesInWriteOrder(dir, "inherited");
  EXPECT_GT(files.size(), 20u);
  std::vector<int> next(kChildren, 0);
  int bad = 0;
  for (const auto& file : files) {
    for (const auto& line : MessageLines(dir.file(file))) {
      int c = -1, n = -1;
      const auto at = line.find(" Kid P");
      if (at == std::string::npos || std::sscanf(line.c_str() + at, " Kid P%d N%d", &c, &n) != 2) {
        ++bad;
        continue;
      }
      if (c == 9) continue;  // the parent's line
      const bool ok = c >= 0 && c < kChildren && n == next[static_cast<std::size_t>(c)] &&
                      line.rfind(std::to_string(children[static_cast<std::size_t>(c)]) + " ", 0) == 0;
      if (!ok) {
        if (++bad <= 5) ADD_FAILURE() << file << ": unexpected line [" << line << "]";
        continue;
      }
      ++next[static_cast<std::size_t>(c)];
    }
  }
  EXPECT_EQ(bad, 0);
  for (int c = 0; c < kChildren; ++c) EXPECT_EQ(next[static_cast<std::size_t>(c)], kLines) << "child " << c;
}

}  // namespace
