// The write path of the process log: level filter, entry points, switches,
// settings refresh and writers on several threads and processes.

// std::regex of GCC 12 trips a false -Wmaybe-uninitialized in <functional>.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>
#include <printf.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zuzazer/FXThreadId.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;

struct LogLine {
  long pid = 0;
  unsigned long tid = 0, line = 0;
  int level = 0;
  long long job = 0;
  long aux = 0;
  std::string function, context, message;
};

// "<pid> <tid> <date> <time> L<level> <job>[#<aux>] <function>[:<line>] [{<context>} ]<message>";
// lines without a level (headers, raw texts) are skipped.
std::vector<LogLine> ParseLines(const std::string& text) {
  static const std::regex layout(
      R"(^(\d+) ([0-9a-f]+) \S+ \S+ L(-?\d+) (-?\d+)(?:#(-?\d+))? (\S+?)(?::(\d+))? (?:\{(.*?)\} )?(.*)$)");
  std::vector<LogLine> lines;
  std::istringstream in(text);
  for (std::string row; std::getline(in, row);) {
    std::smatch m;
    if (!std::regex_match(row, m, layout)) continue;
    lines.push_back({std::stol(m[1]), std::stoul(m[2], nullptr, 16), m[7].matched ? std::stoul(m[7]) : 0,
                     std::stoi(m[3]), std::stoll(m[4]), m[5].matched ? std::stol(m[5]) : 0, m[6], m[8], m[9]});
  }
  return lines;
}

const LogLine* Find(const std::vector<LogLine>& lines, const std::string& message) {
  for (const LogLine& line : lines) {
    if (line.message == message) return &line;
  }
  return nullptr;
}

int Count(const std::vector<LogLine>& lines, const std::string& message) {
  int n = 0;
  for (const LogLine& line : lines) n += line.message == message ? 1 : 0;
  return n;
}

void CallDebugArgs(EvDebug& log, const char* format, ...) __attribute__((format(printf, 2, 3)));
void CallDebugArgs(EvDebug& log, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log.debug_args(format, args);
  va_end(args);
}

// A printf conversion "%W" that counts how often it is expanded.
std::atomic<int> g_expansions{0};

int PrintCounted(FILE* stream, const printf_info* /*info*/, const void* const* args) {
  g_expansions.fetch_add(1);
  return std::fprintf(stream, "W%d", *static_cast<const int*>(args[0]));
}

int CountedArgInfo(const printf_info* /*info*/, size_t n, int* types, int* sizes) {
  if (n > 0) {
    types[0] = PA_INT;
    sizes[0] = sizeof(int);
  }
  return 1;
}

class EvDebugWrite : public zn::test::LogTest {
 protected:
  std::vector<LogLine> Lines(const std::string& file = "zntest.log") const { return ParseLines(Content(file)); }
};

TEST_F(EvDebugWrite, LevelFilterAndAllLogsSwitchDropBeforeFormatting) {
  static std::once_flag registered;
  std::call_once(registered, [] { ASSERT_EQ(register_printf_specifier('W', &PrintCounted, &CountedArgInfo), 0); });
  const char* dropped = "dropped %W";  // not a literal: the compiler does not know %W
  Open();
  EvDebug log;
  g_expansions = 0;
  ASSERT_EQ(log.getDebugLevel(), 1);  // the catalogue default of zntest
  log.DebugLvl("Fn", 2, dropped, 1);
  log.debugLvl(9, dropped, 2);
  log.DebugLvl("Fn", 1, "level 1 at 1");
  log.Debug("Fn", "debug at 1");
  log.Error("Fn", "error at 1");
  log.setDebugLevel(-2);
  log.Error("Fn", dropped, 3);
  log.Debug("Fn", dropped, 4);
  log.error(dropped, 5);
  char raw[] = "raw text 100% as is";
  log.logMessage(raw);  // raw texts bypass the level
  log.setDebugLevel(1);
  EvDebug::m_bTurnOffAllLogs = true;
  log.Error("Fn", dropped, 6);
  EvDebug::m_bTurnOffAllLogs = false;
  log.setDebugLevel(0);
  log.debug(5, "x");  // the integer is not a level
  log.debugLvl(1, dropped, 7);
  log.error("error at 0");
  EXPECT_EQ(g_expansions.load(), 0);
  log.DebugLvl("Fn", 0, dropped, 8);  // a written line is expanded: the probe works
  EXPECT_GE(g_expansions.load(), 1);

  const auto lines = Lines();
  for (const LogLine& line : lines) {
    EXPECT_TRUE(!line.message.starts_with("dropped") || line.message == "dropped W8") << line.message;
  }
  const std::vector<std::pair<std::string, int>> written = {{"level 1 at 1", 1}, {"debug at 1", 0}, {"error at 1", -1},
                                                            {"x", 0},            {"error at 0", -1}, {"dropped W8", 0}};
  for (const auto& [message, level] : written) {
    ASSERT_EQ(Count(lines, message), 1) << message;
    EXPECT_EQ(Find(lines, message)->level, level) << message;
  }
  EXPECT_NE(Content().find("\nraw text 100% as is\n"), std::string::npos);
}

struct Expected {
  const char* message;
  int level;
  long long job;
  long aux;
  const char* function;
  unsigned long line;
  const char* context;
};

void CheckLines(const std::vector<LogLine>& lines, const std::vector<Expected>& expected) {
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.message);
    const LogLine* line = Find(lines, e.message);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->level, e.level);
    EXPECT_EQ(line->job, e.job);
    EXPECT_EQ(line->aux, e.aux);
    EXPECT_EQ(line->function, e.function);
    EXPECT_EQ(line->line, e.line);
    EXPECT_EQ(line->context, e.context);
    EXPECT_EQ(line->pid, static_cast<long>(::getpid()));
    EXPECT_EQ(line->tid, yq::CurrentThreadId());
  }
}

TEST_F(EvDebugWrite, EntryPointsPassFunctionLineJobAndContext) {
  Open();
  EvDebug log;
  log.setJobId(77);
  log.setPrefixMessage("pfx");  // re-reads the level, so it goes first
  log.setDebugLevel(5);

  log.Debug("Fn", "m01 %d", 1);
  log.Error("Fn", "m02");
  log.DebugLvl("Fn", 3, "m03");
  log.DebugLvl("Fn", 3, 5LL, "m04");
  log.DebugLvl("Fn", 3, 0LL, "m05");
  log.DebugLvl("Fn", 33L, 3, 6LL, "m06");
  log.DebugJob(3, "ctx", 8, "m07");
  log.DebugJob("ctx2", 0, "m08");
  log.DebugFLDJ("Fn", 123, 3, 9, "m09");
  log.DebugFLDJ("Fn", 124, 3, 0, "m10");
  log.LogMessage(3, "Fn", 55, 10, "ctx3", "m11");
  log.LogMessage(3, "Fn", 56, 0, "", "m12");
  log.debug("m13 %s", "s");
  CallDebugArgs(log, "m14 %d", 14);
  log.debug(9, "m15");
  log.debugLvl(3, "m16");
  log.debugLvl(3, 11LL, "m17");
  log.error("m18");

  CheckLines(Lines(), {{"m01 1", 0, 77, 0, "Fn", 0, "pfx"},   {"m02", -1, 77, 0, "Fn", 0, "pfx"},
                       {"m03", 3, 77, 0, "Fn", 0, "pfx"},     {"m04", 3, 5, 0, "Fn", 0, "pfx"},
                       {"m05", 3, 77, 0, "Fn", 0, "pfx"},     {"m06", 3, 6, 33, "Fn", 0, "pfx"},
                       {"m07", 3, 8, 0, "-", 0, "ctx"},       {"m08", 0, 77, 0, "-", 0, "ctx2"},
                       {"m09", 3, 9, 0, "Fn", 123, "pfx"},    {"m10", 3, 77, 0, "Fn", 124, "pfx"},
                       {"m11", 3, 10, 0, "Fn", 55, "ctx3"},   {"m12", 3, 77, 0, "Fn", 56, "pfx"},
                       {"m13 s", 0, 77, 0, "-", 0, "pfx"},    {"m14 14", 0, 77, 0, "-", 0, "pfx"},
                       {"m15", 0, 77, 0, "-", 0, "pfx"},      {"m16", 3, 77, 0, "-", 0, "pfx"},
                       {"m17", 3, 11, 0, "-", 0, "pfx"},      {"m18", -1, 77, 0, "-", 0, "pfx"}});

  // Trace texts, at level 0 and without a function; without a prefix and job
  // id, lines carry job 0 and no context.
  log.setPrefixMessage("");
  log.setJobId(0);
  log.traceIn("Worker::run", 42);
  log.traceIn("Worker::run", 0);
  log.traceOut("Worker::run", 43);
  log.traceOut("Worker::run", 0);
  log.setDebugLevel(-1);
  log.traceIn("Dropped::fn", 1);
  CheckLines(Lines(), {{"Entering [Worker::run] Line [42]", 0, 0, 0, "-", 0, ""},
                       {"Entering [Worker::run]", 0, 0, 0, "-", 0, ""},
                       {"Exiting [Worker::run] Line [43]", 0, 0, 0, "-", 0, ""},
                       {"Exiting [Worker::run]", 0, 0, 0, "-", 0, ""}});
  EXPECT_EQ(Count(Lines(), "Entering [Dropped::fn] Line [1]"), 0);
}

// The last line is the switch notice, written once.
void ExpectNoticeLast(const std::vector<LogLine>& lines, const std::string& notice) {
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().message, notice);
  EXPECT_EQ(lines.back().level, -1);
  EXPECT_EQ(lines.back().function, "EvDebug::refreshLoggingSwitch");
  EXPECT_EQ(Count(lines, notice), 1);
}

TEST_F(EvDebugWrite, AllLogsSwitchWritesItsLineLastAndCanBeLifted) {
  Open();
  EvDebug log;
  log.Debug("Fn", "before");
  LogSettings::SetNumber(kEM, "ALL_TurnOffLogging", 1);
  log.refreshLoggingSwitch();
  EXPECT_TRUE(EvDebug::m_bTurnOffAllLogs.load());
  log.Error("Fn", "while off");
  log.refreshLoggingSwitch();  // already off: no second notice
  ExpectNoticeLast(Lines(), "Disable all logging switch is enabled. Hence not logging");
  EXPECT_EQ(Count(Lines(), "while off"), 0);

  LogSettings::SetNumber(kEM, "ALL_TurnOffLogging", 0);
  log.refreshLoggingSwitch();
  EXPECT_FALSE(EvDebug::m_bTurnOffAllLogs.load());
  log.Debug("Fn", "after");
  EXPECT_EQ(Count(Lines(), "after"), 1);
}

TEST_F(EvDebugWrite, ModuleSwitchTurnsOneLogOffForGood) {
  // Switched-off logs stay off for the process: fresh names for each run.
  static int run = 0;
  const std::string sw = "sw" + std::to_string(run);
  const std::string pre = "pre" + std::to_string(run++);
  const std::string notice = "Disable module logging switch is enabled. Hence not logging";
  Open();
  EvDebug process;
  EvDebugFileInstance instance;
  EvDebug module(&instance);
  ASSERT_TRUE(module.initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, sw));
  module.Debug("Fn", "module on");

  LogSettings::SetNumber(kEM, "zntest-" + sw + "_TurnOffLogging", 1);
  module.refreshLoggingSwitch();
  EXPECT_TRUE(instance.m_moduleLoggingOff.load());
  module.Error("Fn", "module off");
  process.Debug("Fn", "process still on");
  // Clearing the value does not bring the log back.
  LogSettings::SetNumber(kEM, "zntest-" + sw + "_TurnOffLogging", 0);
  module.refreshLoggingSwitch();
  module.Error("Fn", "still off");

  const auto lines = Lines("zntest-" + sw + ".log");
  ExpectNoticeLast(lines, notice);
  EXPECT_EQ(Count(lines, "module on"), 1);
  EXPECT_EQ(Count(lines, "module off") + Count(lines, "still off"), 0);
  EXPECT_EQ(Count(Lines(), "process still on"), 1);

  // A log whose switch is on when it opens writes the notice and nothing else.
  LogSettings::SetNumber(kEM, "zntest-" + pre + "_TurnOffLogging", 1);
  EvDebugFileInstance preset;
  EvDebug presetLog(&preset);
  ASSERT_TRUE(presetLog.initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, pre));
  presetLog.Error("Fn", "preset off");
  ExpectNoticeLast(Lines("zntest-" + pre + ".log"), notice);
  EXPECT_EQ(Count(Lines("zntest-" + pre + ".log"), "preset off"), 0);
}

TEST_F(EvDebugWrite, WritePathRefreshesSettingsOncePerInterval) {
  EvDebugFileInstance instance;
  EvDebug log(&instance);
  ASSERT_TRUE(log.initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false));
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 7);
  LogSettings::SetNumber(kEM, "zntest_MAXLOGFILESIZE", 7);
  LogSettings::SetNumber(kEM, "zntest_MAXLOGFILEBACKUPS", 9);
  // Within the interval the settings are not read again.
  instance.m_lastRefresh = static_cast<long long>(::time(nullptr)) + 3600;
  log.DebugLvl("Fn", 7, "too early");
  EXPECT_EQ(log.getDebugLevel(), 1);
  EXPECT_EQ(log.getLogFileSize(), 5u);

  // Once it has passed, the next message re-reads them before filtering.
  instance.m_lastRefresh = static_cast<long long>(::time(nullptr)) - 3600;
  log.DebugLvl("Fn", 7, "after refresh");
  EXPECT_EQ(log.getDebugLevel(), 7);
  EXPECT_EQ(log.getLogFileSize(), 7u);
  EXPECT_EQ(log.getMaxVersion(), 9u);
  EXPECT_GE(instance.m_lastRefresh.load(), static_cast<long long>(::time(nullptr)) - 5);

  const auto lines = Lines();
  EXPECT_EQ(Count(lines, "too early"), 0);
  // The notices come in the order level, size, versions, then the message.
  const LogLine* previous = nullptr;
  for (const auto& [message, level] : std::vector<std::pair<std::string, int>>{
           {"Changing Debug level from 1 to 7", 0},
           {"Changing log file size from 5 MB to 7 MB", 7},
           {"Changing log file count from 32 to 9 ", 7},
           {"after refresh", 7}}) {
    const LogLine* line = Find(lines, message);
    ASSERT_NE(line, nullptr) << message;
    EXPECT_EQ(line->level, level) << message;
    EXPECT_EQ(Count(lines, message), 1) << message;
    EXPECT_TRUE(previous == nullptr || previous < line) << message;
    previous = line;
  }
  EXPECT_EQ(Find(lines, "Changing Debug level from 1 to 7")->function, "EvDebug::refreshDebugLevel");
}

TEST_F(EvDebugWrite, PrintGflagsReportsTheImageSettings) {
  Open();
  EvDebug log;
  log.setDebugLevel(3);
  const std::string image = EvDebug::getProcessName();
  ASSERT_FALSE(image.empty());
  log.PrintGflags();
  LogSettings::Set("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\" + image,
                   "GlobalFlag", "0x100");
  log.setDebugLevel(0);
  log.PrintGflags();

  const std::string missing = "Gflags are not set for the image " + image + ". Return code:[2]";
  const std::string flag = "Image:" + image + ". Flag:GlobalFlag Value:0x100";
  CheckLines(Lines(), {{missing.c_str(), 3, 0, 0, "EvDebug::PrintGflags", 0, ""},
                       {flag.c_str(), 0, 0, 0, "EvDebug::PrintGflags", 0, ""}});
}

TEST_F(EvDebugWrite, PrintStringFormattedLayoutCarriesTheCallingThread) {
  Open();  // the process id is taken when the log opens
  MsgEventFormatted record{};
  std::snprintf(record.date, sizeof record.date, "%s", "2024-01-02");
  std::snprintf(record.time, sizeof record.time, "%s", "03:04:05");
  record.message = "hello 100%";
  // The formatted record and the one expected, on the calling thread.
  const auto format = [&record] {
    std::vector<char> out(EvDebug::kFormattedRecordMax);
    EvDebug::printStringFormatted(&record, out.data());
    char expected[128];
    std::snprintf(expected, sizeof expected, "%ld %4lx 2024-01-02 03:04:05 hello 100%%", static_cast<long>(::getpid()),
                  static_cast<unsigned long>(yq::CurrentThreadId()));
    return std::make_pair(std::string(out.data()), std::string(expected));
  };
  const auto [here, expectedHere] = format();
  EXPECT_EQ(here, expectedHere);
  std::pair<std::string, std::string> there;
  std::thread([&] { there = format(); }).join();
  EXPECT_EQ(there.first, there.second);
  EXPECT_NE(there.first, here);
}

TEST_F(EvDebugWrite, ThreadsWriteWholeLinesWhileThePrefixChanges) {
  Open();
  constexpr int kThreads = 4;
  constexpr int kLines = 2000;
  std::atomic<bool> writing{true};
  std::thread changer([&] {
    EvDebug log;
    for (int i = 0; writing.load(); ++i) log.setPrefixMessage(i % 2 == 0 ? "ctxA" : "context-B-longer-than-SSO-buffer");
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      EvDebug log;
      for (int i = 0; i < kLines; ++i) log.Debug("Writer", "t%d line %d", t, i);
    });
  }
  for (auto& w : writers) w.join();
  writing = false;
  changer.join();

  std::vector<int> next(kThreads, 0);  // every line arrives once, each thread's in the order written
  for (const LogLine& line : Lines()) {
    if (line.function != "Writer") continue;
    EXPECT_TRUE(line.context == "ctxA" || line.context == "context-B-longer-than-SSO-buffer" || line.context.empty())
        << line.context;
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.message.c_str(), "t%d line %d", &t, &i), 2) << line.message;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    ASSERT_EQ(i, next[t]++) << line.message;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines) << t;
}

TEST_F(EvDebugWrite, ForkedChildAndParentWriteTheSameLog) {
  Open();
  EvDebug log;
  log.Debug("Fn", "opened");
  constexpr int kLines = 500;
  zn::test::ChildProcess child([] {
    EvDebug inChild;
    for (int i = 0; i < kLines; ++i) inChild.Debug("Child", "child line %d", i);
    return 0;
  });
  for (int i = 0; i < kLines; ++i) log.Debug("Parent", "parent line %d", i);
  ASSERT_EQ(child.wait(std::chrono::seconds(60)), 0);

  int fromChild = 0;
  int fromParent = 0;
  for (const LogLine& line : Lines()) {
    if (line.function == "Child") {
      EXPECT_EQ(line.pid, static_cast<long>(child.pid()));
      EXPECT_EQ(line.message, "child line " + std::to_string(fromChild++));
    } else if (line.function == "Parent") {
      EXPECT_EQ(line.pid, static_cast<long>(::getpid()));
      EXPECT_EQ(line.message, "parent line " + std::to_string(fromParent++));
    }
  }
  EXPECT_EQ(fromChild, kLines);
  EXPECT_EQ(fromParent, kLines);
}

}  // namespace
