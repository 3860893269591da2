// The log writer: line layout, level filter, line ends, rollover, retention,
// lost files, failures, the message hook, and writers on threads and processes.

// std::regex of GCC 12 trips a false -Wmaybe-uninitialized in <functional>.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "helpers/TempDir.h"
#include "sync/SyncTestUtil.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/LogVersions.h"

namespace {

using zn::test::ChildProcess;
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
  std::vector<std::string> files = yq::ListLogVersions(dir.path(), base);
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
    if (fs::read_symlink(entry.path(), error) == resolved && !error) ++count;
  }
  return count;
}

struct Writer {
  CYqLogger logger;
  Writer(const TempDir& dir, const std::string& base, bool scratch = false) {
    EXPECT_TRUE(logger.Initialize(base, dir.path(), 100, false, scratch).IsSuccess());
  }
};

// Numbered lines "W<writer> N<number> <padding>"; a torn line shows in the padding.
const std::string kPadding(50, '=');

void WriteSeq(CYqLogger& logger, int writer, int first, int count) {
  for (int n = first; n < first + count; ++n) {
    logger.LogMessage(0, 0, "Seq", 0, 0, nullptr, "W%d N%d %s", writer, n, kPadding.c_str());
  }
}

struct SeqLine {
  int writer = -1, number = -1;  // -1: not a whole numbered line
  std::string line;
};

// The numbered lines of `base`, in write order.
std::vector<SeqLine> ReadSeq(const TempDir& dir, const std::string& base) {
  std::vector<SeqLine> result;
  for (const auto& file : FilesInWriteOrder(dir, base)) {
    for (const auto& line : MessageLines(dir.file(file))) {
      const auto at = line.find(" Seq W");
      int w = -1, n = -1, used = 0;
      const bool whole = at != std::string::npos &&
                         std::sscanf(line.c_str() + at, " Seq W%d N%d %n", &w, &n, &used) == 2 &&
                         line.substr(at + static_cast<std::size_t>(used)) == kPadding;
      result.push_back({whole ? w : -1, whole ? n : -1, line});
    }
  }
  return result;
}

// Writers 0..writers-1 each left `count` whole lines numbered from 0 in order
// (from process pids[w] when given); lines of writer `writers` are skipped.
void ExpectEveryWriterInOrder(const std::vector<SeqLine>& lines, int writers, int count,
                              const std::vector<pid_t>& pids = {}) {
  std::vector<int> next(static_cast<std::size_t>(writers), 0);
  int bad = 0;
  for (const SeqLine& seq : lines) {
    if (seq.writer == writers) continue;
    const auto w = static_cast<std::size_t>(seq.writer);
    const bool ok = seq.writer >= 0 && seq.writer < writers && seq.number == next[w] &&
                    (pids.empty() || seq.line.starts_with(std::to_string(pids[w]) + " "));
    if (!ok) {
      if (++bad <= 5) ADD_FAILURE() << "unexpected line [" << seq.line << "]";
      continue;
    }
    ++next[w];
  }
  EXPECT_EQ(bad, 0);
  for (int w = 0; w < writers; ++w) EXPECT_EQ(next[static_cast<std::size_t>(w)], count) << "writer " << w;
}

TEST(CYqLogger, InitializeRejectsBadArgumentsAndNamesTheFile) {
  TempDir dir;
  CYqLogger writer;
  EXPECT_TRUE(writer.Initialize("", dir.path(), 1, false, false).Is(123));
  EXPECT_TRUE(writer.Initialize("a/b", dir.path(), 1, false, false).Is(123));
  EXPECT_TRUE(writer.Initialize(std::string(NAME_MAX - 20, 'n'), dir.path(), 1, false, false).Is(206));
  EXPECT_TRUE(writer.Initialize("app", "", 1, false, false).Is(3));
  ASSERT_TRUE(writer.Initialize("app", dir.path(), 1, false, false).IsSuccess());
  EXPECT_TRUE(writer.Initialize("app", dir.path(), 1, false, false).Is(183));
  EXPECT_EQ(writer.GetLogFilePath(), dir.file("app.log"));
  EXPECT_FALSE(FXFile::Exists(dir.file("app.log")));  // nothing before the first line

  // Equal lock names mean the same file, however the folder is spelled.
  EXPECT_EQ(writer.GetLockName(), CYqLogger::GetLockName("app", dir.path() + "/"));
  EXPECT_NE(CYqLogger::GetLockName("app", dir.path()), CYqLogger::GetLockName("app2", dir.path()));

  writer.SetLogFileSize(5);
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

  // Level, job, function and message of each line.
  const std::vector<std::vector<std::string>> expected = {
      {"", "99#7", "Cls::Fn:42", "{ctx a} value [5] end"}, {"", "0", "-", "bare"}, {"", "-3", "-", "empty fields"},
      {"L-1 ", "0", "F", "shown"}, {"L12 ", "0#-2", "F:3", "shown too"}};
  const std::regex layout(R"(^(\d+) ([0-9a-f]{4,}) (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.\d{3} (L-?\d+ )?(\S+) (\S+) (.*)$)");
  const std::vector<std::string> lines = MessageLines(dir.file("layout.log"));
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, layout)) << lines[i];
    EXPECT_EQ(m[1].str(), std::to_string(::getpid()));
    EXPECT_EQ(std::stoul(m[2].str(), nullptr, 16), static_cast<unsigned long>(::gettid()));
    struct tm when {};
    ASSERT_NE(::strptime(m[3].str().c_str(), "%Y-%m-%d %H:%M:%S", &when), nullptr);
    when.tm_isdst = -1;
    const std::time_t stamped = std::mktime(&when);  // the time is local
    EXPECT_GE(stamped, before - 1);
    EXPECT_LE(stamped, after + 1);
    EXPECT_EQ((std::vector<std::string>{m[4].str(), m[5].str(), m[6].str(), m[7].str()}), expected[i]);
  }
}

TEST(CYqLogger, LevelFilterDropsBeforeFormatting) {
  TempDir dir;
  Writer w(dir, "levels");
  w.logger.SetLevel(1);
  // A dropped message must not be expanded: this argument would crash it.
  const char* poison = reinterpret_cast<const char*>(16);
  w.logger.LogMessage(2, 0, "F", 0, 0, nullptr, "dropped %s", poison);
  for (const int level : {1, 0, -1}) w.logger.LogMessage(level, 0, "F", 0, 0, nullptr, "at %d", level);
  w.logger.SetLevel(-2);
  w.logger.LogMessage(-1, 0, "F", 0, 0, nullptr, "error dropped %s", poison);
  w.logger.LogMessage("raw text ignores the level");
  w.logger.SetLevel(0x7FFFFFFF);
  w.logger.LogMessage(1000, 0, "F", 0, 0, nullptr, "anything");

  const std::vector<std::string> lines = MessageLines(dir.file("levels.log"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[0].ends_with(" F at 1") && lines[1].ends_with(" F at 0") && lines[2].ends_with(" F at -1"));
  EXPECT_EQ(lines[3], "raw text ignores the level");
  EXPECT_TRUE(lines[4].ends_with(" F anything"));
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
  const std::string text = ReadFile(dir.file("head.log"));
  EXPECT_EQ(text.find("] created"), text.rfind("] created"));  // one header only
  std::string header;
  for (const auto& line : lines) header += IsHeaderLine(line) ? line + "\n" : "";
  for (const char* item : {"host1", "client1", "hub1", "hubclient1", "Debian 12", "10.0.0.1", "11.0.80",
                           "Instance001", "zntest", "4242", "Server", "x86_64"}) {
    EXPECT_NE(header.find(item), std::string::npos) << item;
  }
  const std::vector<std::string> messages = MessageLines(dir.file("head.log"));
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_TRUE(messages[2].ends_with("three"));
  EXPECT_TRUE(IsHeaderLine(lines[lines.size() - 4]));  // the header comes before every message
}

std::vector<std::string> g_syslogTexts;
void RecordSyslog(const char* text) { g_syslogTexts.emplace_back(text); }

// A scratch writer writes no header: only the lines asked for.
TEST(CYqLogger, EveryMessageEndsInExactlyOneLineEndAndLongOnesAreWhole) {
  TempDir dir;
  Writer w(dir, "ends", true);
  w.logger.SetSyslogCallback(&RecordSyslog);
  for (const char* message : {"plain", "one\n", "many\r\n\n\n", "", "inner\nbreak"}) {
    w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", message);
  }
  w.logger.LogMessage("raw\n\n");
  w.logger.LogMessage("raw2");
  w.logger.LogMessageSyslog("to syslog\n");
  w.logger.SetSyslogCallback(nullptr);
  const std::string text = ReadFile(dir.file("ends.log"));
  EXPECT_EQ(text.find("\n\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
  // Ends of formatted lines (with a leading space), or whole raw lines.
  const std::vector<std::string> expected = {" F plain", " F one", " F many", " F ",  " F inner",
                                             "break",    "raw",    "raw2",    " Syslog to syslog"};
  const std::vector<std::string> lines = Lines(dir.file("ends.log"));
  ASSERT_EQ(lines.size(), expected.size()) << text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(expected[i][0] == ' ' ? lines[i].ends_with(expected[i]) : lines[i] == expected[i]) << lines[i];
  }
  EXPECT_EQ(g_syslogTexts, (std::vector<std::string>{"to syslog\n"}));

  // Long messages, around the buffer size and far beyond it, are written whole.
  std::vector<std::string> messages;
  for (std::size_t size = 3950; size <= 4110; ++size) messages.push_back(std::string(size, char('a' + size % 26)));
  messages.push_back(std::string(10000, 'L'));
  messages.push_back(std::string(200000, 'H'));
  for (const auto& message : messages) w.logger.LogMessage(0, 0, "Long::Fn", 1, 0, "ctx", "%s<end>\n", message.c_str());
  const std::vector<std::string> all = Lines(dir.file("ends.log"));
  ASSERT_EQ(all.size(), expected.size() + messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    ASSERT_TRUE(all[expected.size() + i].ends_with(" Long::Fn:1 {ctx} " + messages[i] + "<end>"))
        << "message of " << messages[i].size() << " bytes, line of " << all[expected.size() + i].size();
  }
}

TEST(CYqLogger, RolloverKeepsEveryLineInOrderInStampedVersions) {
  TempDir dir;
  Writer w(dir, "roll");
  constexpr unsigned long long kLimit = 2000;
  w.logger.SetLogFileSizeBytes(kLimit);
  w.logger.SetMaxVersions(1000);
  WriteSeq(w.logger, 0, 0, 300);

  const std::vector<std::string> versions = yq::ListLogVersions(dir.path(), "roll");
  ASSERT_GE(versions.size(), 10u);
  const std::regex stamped(R"(roll_\d{14}\.log)");
  for (std::size_t i = 0; i < versions.size(); ++i) {
    EXPECT_TRUE(std::regex_match(versions[i], stamped)) << versions[i];
    EXPECT_TRUE(i == 0 || versions[i - 1] > versions[i]) << versions[i];  // strictly newer first
    const auto size = fs::file_size(dir.file(versions[i]));
    EXPECT_GE(size, kLimit) << versions[i];  // never rolled early
    EXPECT_LT(size, kLimit + 200) << versions[i];
    const std::vector<std::string> lines = Lines(dir.file(versions[i]));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Log file [" + dir.file("roll.log") + "] created"), std::string::npos);
  }
  ExpectEveryWriterInOrder(ReadSeq(dir, "roll"), 1, 300);

  // With fewer versions allowed the oldest go; the newest lines stay, in order.
  w.logger.SetMaxVersions(3);
  WriteSeq(w.logger, 0, 300, 100);
  EXPECT_EQ(yq::ListLogVersions(dir.path(), "roll").size(), 3u);
  const std::vector<SeqLine> lines = ReadSeq(dir, "roll");
  ASSERT_GT(lines.size(), 3u * 10);  // three full versions and the current file
  EXPECT_EQ(lines.back().number, 399);
  for (std::size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i].number, lines[i - 1].number + 1);
}

TEST(CYqLogger, RetentionPrunesOldVersionsOnlyOfThisLog) {
  TempDir dir;
  // Name, age in days, kept.
  const std::vector<std::tuple<std::string, double, bool>> files = {
      {"keep_20200101000000.log", 10, false}, {"keep_20200102000000.log.zip", 3, false},
      {"keep_20200103000000.log", 0.001, true}, {"keep_notes.txt", 10, true},
      {"other_20200101000000.log", 10, true}};
  for (const auto& [name, days, kept] : files) {
    std::fclose(std::fopen(dir.file(name).c_str(), "w"));
    const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(days * 86400);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file(name).c_str(), times, 0), 0);
  }
  Writer w(dir, "keep");
  w.logger.SetRetainLogsTill(2 * 86400);
  w.logger.SetMaxVersions(100);
  w.logger.SetLogFileSizeBytes(100);
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", std::string(150, 'x').c_str());  // rolls over
  for (const auto& [name, days, kept] : files) EXPECT_EQ(FXFile::Exists(dir.file(name)), kept) << name;
  EXPECT_EQ(yq::ListLogVersions(dir.path(), "keep").size(), 2u);  // the new version too
}

TEST(CYqLogger, PerLineModeHoldsNoDescriptorAndStillRollsOverUntilRetired) {
  TempDir dir;
  Writer w(dir, "perline");
  const std::string path = dir.file("perline.log");
  w.logger.SetKeepLogFileOpen(false);
  WriteSeq(w.logger, 0, 0, 1);
  EXPECT_EQ(OpenDescriptorsTo(path), 0);
  w.logger.SetKeepLogFileOpen(true);
  WriteSeq(w.logger, 0, 1, 1);
  EXPECT_EQ(OpenDescriptorsTo(path), 1);
  w.logger.SetKeepLogFileOpen(false);
  w.logger.CloseLogFile(false);
  w.logger.CloseLogFile(true);  // closing twice is harmless
  EXPECT_EQ(OpenDescriptorsTo(path), 0);

  w.logger.SetLogFileSizeBytes(1500);
  w.logger.SetMaxVersions(1000);
  w.logger.SetLoggingMode(CYqLogger::kLoggingModeDurable);
  WriteSeq(w.logger, 0, 2, 98);
  EXPECT_EQ(OpenDescriptorsTo(path), 0);
  EXPECT_GE(yq::ListLogVersions(dir.path(), "perline").size(), 3u);
  // A retired writer drops every later line.
  w.logger.Retire();
  WriteSeq(w.logger, 0, 100, 1);
  w.logger.LogMessage("raw after retire");
  EXPECT_EQ(OpenDescriptorsTo(path), 0);
  ExpectEveryWriterInOrder(ReadSeq(dir, "perline"), 1, 100);
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

std::vector<std::string> g_failures;
void RecordFailure(const char* text) { g_failures.emplace_back(text); }

TEST(CYqLogger, WriteFailuresAreReportedOncePerRunAndCanUserWriteToLogTells) {
  TempDir dir;
  const std::string blocker = dir.file("blocker");
  const auto block = [&] { std::fclose(std::fopen(blocker.c_str(), "w")); };
  block();
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
  block();
  writer.LogMessage(0, 0, "F", 0, 0, nullptr, "lost again");
  EXPECT_EQ(g_failures.size(), 2u);
  writer.SetSyslogCallback(nullptr);

  // Asking makes a missing folder and writes no log; a read-only one is refused.
  CYqLogger probe;
  ASSERT_TRUE(probe.Initialize("probe", dir.file("a/b/c"), 1, false, true).IsSuccess());
  EXPECT_TRUE(probe.CanUserWriteToLog());
  EXPECT_TRUE(FXFile::IsDirectory(dir.file("a/b/c")));
  EXPECT_FALSE(FXFile::Exists(dir.file("a/b/c/probe.log")));
  if (::geteuid() == 0) return;  // root may write anywhere
  ASSERT_EQ(::mkdir(dir.file("ro").c_str(), 0555), 0);
  CYqLogger readOnly;
  ASSERT_TRUE(readOnly.Initialize("probe", dir.file("ro"), 1, false, true).IsSuccess());
  EXPECT_FALSE(readOnly.CanUserWriteToLog());
  ::chmod(dir.file("ro").c_str(), 0755);
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
  EXPECT_TRUE(g_hookLines[0].first == 3 && g_hookLines[0].second.ends_with(" F visible 1\n"));
  EXPECT_TRUE(g_hookLines[1].first == -1 && g_hookLines[1].second.ends_with(" F SECRET 2\n"));
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
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { WriteSeq(w.logger, t, 0, kLines); });
  for (auto& thread : threads) thread.join();
  EXPECT_GT(FilesInWriteOrder(dir, "threads").size(), 20u);
  ExpectEveryWriterInOrder(ReadSeq(dir, "threads"), kThreads, kLines);
}

TEST(CYqLogger, RolloverByAnotherProcessIsFollowed) {
  TempDir dir;
  Writer w(dir, "shared");
  w.logger.SetMaxVersions(10);
  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "parent before");
  ChildProcess child([&] {
    CYqLogger other;
    if (other.Initialize("shared", dir.path(), 100, false, false).IsError()) return 2;
    other.SetLogFileSizeBytes(1);  // the first line rolls the file over
    other.SetMaxVersions(10);
    other.LogMessage(0, 0, "F", 0, 0, nullptr, "child rolls");
    other.LogMessage(0, 0, "F", 0, 0, nullptr, "child after");
    return 0;
  });
  ASSERT_EQ(child.wait(), 0);

  w.logger.LogMessage(0, 0, "F", 0, 0, nullptr, "parent after");
  const std::vector<std::string> versions = yq::ListLogVersions(dir.path(), "shared");
  ASSERT_GE(versions.size(), 1u);
  const std::string oldest = ReadFile(dir.file(versions.back()));
  EXPECT_NE(oldest.find("parent before"), std::string::npos);
  EXPECT_EQ(oldest.find("parent after"), std::string::npos);

  const std::vector<std::string> current = MessageLines(dir.file("shared.log"));
  ASSERT_FALSE(current.empty());
  EXPECT_TRUE(current.back().ends_with("parent after"));
  EXPECT_TRUE(current.back().starts_with(std::to_string(::getpid()) + " "));
  std::string all = "\n";
  for (const auto& file : FilesInWriteOrder(dir, "shared")) all += ReadFile(dir.file(file));
  const auto childLine = all.find(" child rolls\n");
  ASSERT_NE(childLine, std::string::npos);
  EXPECT_TRUE(all.substr(all.rfind('\n', childLine) + 1).starts_with(std::to_string(child.pid()) + " "));
}

TEST(CYqLogger, ForkedChildrenShareAnInheritedWriterSafely) {
  TempDir dir;
  Writer w(dir, "inherited");
  w.logger.SetLogFileSizeBytes(4096);
  w.logger.SetMaxVersions(100000);
  constexpr int kChildren = 3, kLines = 2000;
  WriteSeq(w.logger, kChildren, 0, 1);  // the parent opens: descriptor and lock are inherited

  std::vector<std::unique_ptr<ChildProcess>> children;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    children.push_back(std::make_unique<ChildProcess>([&, c] {
      WriteSeq(w.logger, c, 0, kLines);
      return 0;
    }));
    pids.push_back(children.back()->pid());
  }
  for (auto& child : children) EXPECT_EQ(child->wait(std::chrono::seconds(120)), 0);
  EXPECT_GT(FilesInWriteOrder(dir, "inherited").size(), 20u);
  ExpectEveryWriterInOrder(ReadSeq(dir, "inherited"), kChildren, kLines, pids);
}

}  // namespace
