// The write path of the process log: level filter, entry points, switches,
// settings refresh and writers on several threads and processes.

#include <gtest/gtest.h>
#include <printf.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zn/log/EvDebug.h"
#include "zn/log/EvDebugState.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXThreadId.h"

namespace {

using zn::detail::LogSettings;
using zn::test::ReadFile;

constexpr const char* kEM = "EventManager";

struct LogLine {
  long pid = 0;
  unsigned long tid = 0;
  int level = 0;
  long long job = 0;
  long aux = 0;
  std::string function;
  unsigned long line = 0;
  std::string context;
  std::string message;
};

// "<pid> <tid> <date> <time> L<level> <job>[#<aux>] <function>[:<line>] [{<context>} ]<message>";
// lines without a level (headers, raw texts) give false.
bool ParseLine(const std::string& row, LogLine& out) {
  char date[11];
  char time[13];
  int used = 0;
  if (std::sscanf(row.c_str(), "%ld %lx %10s %12s L%d %lld%n", &out.pid, &out.tid, date, time, &out.level, &out.job,
                  &used) != 6) {
    return false;
  }
  const char* p = row.c_str() + used;
  char* end = nullptr;
  out.aux = *p == '#' ? std::strtol(p + 1, &end, 10) : 0;
  if (end != nullptr) p = end;
  const char* space = *p == ' ' ? std::strchr(p + 1, ' ') : nullptr;
  if (space == nullptr) return false;
  out.function.assign(p + 1, space);
  const auto colon = out.function.rfind(':');
  out.line = 0;
  if (colon != std::string::npos && colon + 1 < out.function.size() && std::isdigit(static_cast<unsigned char>(out.function[colon + 1])) != 0) {
    out.line = std::stoul(out.function.substr(colon + 1));
    out.function.resize(colon);
  }
  p = space + 1;
  out.context.clear();
  const char* close = *p == '{' ? std::strstr(p, "} ") : nullptr;
  if (close != nullptr) {
    out.context.assign(p + 1, close);
    p = close + 2;
  }
  out.message = p;
  return true;
}

std::vector<LogLine> ParseLines(const std::string& text) {
  std::vector<LogLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    LogLine line;
    if (ParseLine(text.substr(start, end - start), line)) lines.push_back(line);
    start = end + 1;
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

class EvDebugWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    LogSettings::SetNumber(kEM, "ShowLogLevelInLogs", 1);
  }
  void TearDown() override { Reset(); }

  static void Reset() {
    EvDebug::CleanupFileHandleList();
    zn::detail::LogState().defaultInstance = EvDebugFileInstance();
    LogSettings::Clear();
    ZNPI_Focus::reload();
    EvDebug::m_bTurnOffAllLogs = false;
  }

  void Open(const std::string& suffix = "") {
    ASSERT_TRUE(EvDebug().initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, suffix));
  }
  std::vector<LogLine> Lines(const std::string& file = "zntest.log") const {
    return ParseLines(ReadFile(m_dir.file(file)));
  }

  zn::test::TempDir m_dir;
};

TEST_F(EvDebugWrite, LevelFilterDropsAboveTheInstanceLevel) {
  Open();
  EvDebug log;
  ASSERT_EQ(log.getDebugLevel(), 1);  // the catalogue default of zntest
  log.DebugLvl("Fn", 2, "level 2 at 1");
  log.DebugLvl("Fn", 1, "level 1 at 1");
  log.Debug("Fn", "debug at 1");
  log.Error("Fn", "error at 1");

  log.setDebugLevel(-2);
  log.Error("Fn", "error at -2");
  log.Debug("Fn", "debug at -2");
  log.error("lower error at -2");

  log.setDebugLevel(0);
  log.debug(5, "x");  // the integer is not a level
  log.debugLvl(1, "level 1 at 0");
  log.error("error at 0");

  const auto lines = Lines();
  EXPECT_EQ(Count(lines, "level 2 at 1"), 0);
  EXPECT_EQ(Count(lines, "error at -2"), 0);
  EXPECT_EQ(Count(lines, "debug at -2"), 0);
  EXPECT_EQ(Count(lines, "lower error at -2"), 0);
  EXPECT_EQ(Count(lines, "level 1 at 0"), 0);
  ASSERT_NE(Find(lines, "level 1 at 1"), nullptr);
  EXPECT_EQ(Find(lines, "level 1 at 1")->level, 1);
  ASSERT_NE(Find(lines, "debug at 1"), nullptr);
  EXPECT_EQ(Find(lines, "debug at 1")->level, 0);
  ASSERT_NE(Find(lines, "error at 1"), nullptr);
  EXPECT_EQ(Find(lines, "error at 1")->level, -1);
  ASSERT_NE(Find(lines, "x"), nullptr);
  EXPECT_EQ(Find(lines, "x")->level, 0);
  ASSERT_NE(Find(lines, "error at 0"), nullptr);
  EXPECT_EQ(Find(lines, "error at 0")->level, -1);
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
    EXPECT_EQ(line->tid, zn::detail::CurrentThreadId());
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

  const auto lines = Lines();
  CheckLines(lines, {
                        {"m01 1", 0, 77, 0, "Fn", 0, "pfx"},
                        {"m02", -1, 77, 0, "Fn", 0, "pfx"},
                        {"m03", 3, 77, 0, "Fn", 0, "pfx"},
                        {"m04", 3, 5, 0, "Fn", 0, "pfx"},
                        {"m05", 3, 77, 0, "Fn", 0, "pfx"},
                        {"m06", 3, 6, 33, "Fn", 0, "pfx"},
                        {"m07", 3, 8, 0, "-", 0, "ctx"},
                        {"m08", 0, 77, 0, "-", 0, "ctx2"},
                        {"m09", 3, 9, 0, "Fn", 123, "pfx"},
                        {"m10", 3, 77, 0, "Fn", 124, "pfx"},
                        {"m11", 3, 10, 0, "Fn", 55, "ctx3"},
                        {"m12", 3, 77, 0, "Fn", 56, "pfx"},
                        {"m13 s", 0, 77, 0, "-", 0, "pfx"},
                        {"m14 14", 0, 77, 0, "-", 0, "pfx"},
                        {"m15", 0, 77, 0, "-", 0, "pfx"},
                        {"m16", 3, 77, 0, "-", 0, "pfx"},
                        {"m17", 3, 11, 0, "-", 0, "pfx"},
                        {"m18", -1, 77, 0, "-", 0, "pfx"},
                    });

  // Without a prefix and job id, lines carry job 0 and no context.
  log.setPrefixMessage("");
  log.setJobId(0);
  log.Debug("Fn", "n01");
  log.DebugFLDJ("Fn", 7, 1, 0, "n02");
  CheckLines(Lines(), {{"n01", 0, 0, 0, "Fn", 0, ""}, {"n02", 1, 0, 0, "Fn", 7, ""}});
}

TEST_F(EvDebugWrite, TraceInAndOutTexts) {
  Open();
  EvDebug log;
  log.traceIn("Worker::run", 42);
  log.traceIn("Worker::run", 0);
  log.traceOut("Worker::run", 43);
  log.traceOut("Worker::run", 0);
  log.setDebugLevel(-1);
  log.traceIn("Dropped::fn", 1);  // level 0 above -1

  const auto lines = Lines();
  for (const char* text : {"Entering [Worker::run] Line [42]", "Entering [Worker::run]",
                           "Exiting [Worker::run] Line [43]", "Exiting [Worker::run]"}) {
    SCOPED_TRACE(text);
    ASSERT_EQ(Count(lines, text), 1);
    EXPECT_EQ(Find(lines, text)->level, 0);
    EXPECT_EQ(Find(lines, text)->function, "-");
  }
  EXPECT_EQ(Count(lines, "Entering [Dropped::fn] Line [1]"), 0);
}

TEST_F(EvDebugWrite, DroppedMessagesAreNeverFormatted) {
  static std::once_flag registered;
  std::call_once(registered, [] { ASSERT_EQ(register_printf_specifier('W', &PrintCounted, &CountedArgInfo), 0); });
  Open();
  EvDebug log;
  const char* counted = "counted %W";  // not a literal: the compiler does not know %W

  g_expansions = 0;
  log.DebugLvl("Fn", 2, counted, 1);
  log.debugLvl(9, counted, 2);
  log.setDebugLevel(-2);
  log.Error("Fn", counted, 3);
  log.setDebugLevel(1);
  EvDebug::m_bTurnOffAllLogs = true;
  log.Error("Fn", counted, 4);
  EvDebug::m_bTurnOffAllLogs = false;
  EXPECT_EQ(g_expansions.load(), 0);

  // The same format on a written line is expanded: the probe works.
  log.DebugLvl("Fn", 1, counted, 5);
  EXPECT_GE(g_expansions.load(), 1);
  const auto lines = Lines();
  EXPECT_EQ(Count(lines, "counted W5"), 1);
  for (const char* dropped : {"counted W1", "counted W2", "counted W3", "counted W4"}) {
    EXPECT_EQ(Count(lines, dropped), 0) << dropped;
  }
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

  auto lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().message, "Disable all logging switch is enabled. Hence not logging");
  EXPECT_EQ(lines.back().level, -1);
  EXPECT_EQ(lines.back().function, "EvDebug::refreshLoggingSwitch");
  EXPECT_EQ(Count(lines, "Disable all logging switch is enabled. Hence not logging"), 1);
  EXPECT_EQ(Count(lines, "while off"), 0);

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
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().message, "Disable module logging switch is enabled. Hence not logging");
  EXPECT_EQ(lines.back().level, -1);
  EXPECT_EQ(lines.back().function, "EvDebug::refreshLoggingSwitch");
  EXPECT_EQ(Count(lines, "module on"), 1);
  EXPECT_EQ(Count(lines, "module off"), 0);
  EXPECT_EQ(Count(lines, "still off"), 0);
  EXPECT_EQ(Count(Lines(), "process still on"), 1);

  // A log whose switch is on when it opens writes the notice and nothing else.
  LogSettings::SetNumber(kEM, "zntest-" + pre + "_TurnOffLogging", 1);
  EvDebugFileInstance preset;
  EvDebug presetLog(&preset);
  ASSERT_TRUE(presetLog.initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, pre));
  presetLog.Error("Fn", "preset off");
  const auto presetLines = Lines("zntest-" + pre + ".log");
  ASSERT_FALSE(presetLines.empty());
  EXPECT_EQ(presetLines.back().message, "Disable module logging switch is enabled. Hence not logging");
  EXPECT_EQ(Count(presetLines, "preset off"), 0);
}

TEST_F(EvDebugWrite, WritePathRefreshesSettingsOncePerInterval) {
  EvDebugFileInstance instance;
  EvDebug log(&instance);
  ASSERT_TRUE(log.initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false));
  ASSERT_EQ(log.getLogFileSize(), 5u);
  ASSERT_EQ(log.getMaxVersion(), 32u);

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
  const LogLine* level = Find(lines, "Changing Debug level from 1 to 7");
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(level->level, 0);
  EXPECT_EQ(level->function, "EvDebug::refreshDebugLevel");
  const LogLine* size = Find(lines, "Changing log file size from 5 MB to 7 MB");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->level, 7);
  const LogLine* count = Find(lines, "Changing log file count from 32 to 9 ");
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->level, 7);
  ASSERT_EQ(Count(lines, "after refresh"), 1);
  // The notices come in the order level, size, versions, then the message.
  EXPECT_LT(level, size);
  EXPECT_LT(size, count);
  EXPECT_LT(count, Find(lines, "after refresh"));
}

TEST_F(EvDebugWrite, RawMessagesBypassTheLevel) {
  Open();
  EvDebug log;
  log.setDebugLevel(-2);
  char text[] = "raw text 100% as is";
  log.logMessage(text);
  const std::string content = ReadFile(m_dir.file("zntest.log"));
  EXPECT_NE(content.find("\nraw text 100% as is\n"), std::string::npos);
}

TEST_F(EvDebugWrite, PrintGflagsReportsTheImageSettings) {
  Open();
  EvDebug log;
  log.setDebugLevel(3);
  const std::string image = EvDebug::getProcessName();
  ASSERT_FALSE(image.empty());
  log.PrintGflags();
  const std::string section =
      std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\") + image;
  LogSettings::Set(section, "GlobalFlag", "0x100");
  log.setDebugLevel(0);
  log.PrintGflags();

  const auto lines = Lines();
  const LogLine* missing = Find(lines, "Gflags are not set for the image " + image + ". Return code:[2]");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->level, 3);
  EXPECT_EQ(missing->function, "EvDebug::PrintGflags");
  const LogLine* flag = Find(lines, "Image:" + image + ". Flag:GlobalFlag Value:0x100");
  ASSERT_NE(flag, nullptr);
  EXPECT_EQ(flag->level, 0);
}

TEST_F(EvDebugWrite, PrintStringFormattedLayout) {
  Open();
  MsgEventFormatted record{};
  std::snprintf(record.date, sizeof record.date, "%s", "2024-01-02");
  std::snprintf(record.time, sizeof record.time, "%s", "03:04:05");
  record.message = "hello 100%";
  std::vector<char> out(EvDebug::kFormattedRecordMax);
  EvDebug::printStringFormatted(&record, out.data());
  char expected[128];
  std::snprintf(expected, sizeof expected, "%ld %4lx 2024-01-02 03:04:05 hello 100%%", static_cast<long>(::getpid()),
                static_cast<unsigned long>(zn::detail::CurrentThreadId()));
  EXPECT_STREQ(out.data(), expected);

  // The thread column is the calling thread's.
  std::string fromThread;
  unsigned long otherTid = 0;
  std::thread([&] {
    std::vector<char> buffer(EvDebug::kFormattedRecordMax);
    EvDebug::printStringFormatted(&record, buffer.data());
    fromThread = buffer.data();
    otherTid = zn::detail::CurrentThreadId();
  }).join();
  std::snprintf(expected, sizeof expected, "%ld %4lx 2024-01-02 03:04:05 hello 100%%", static_cast<long>(::getpid()),
                otherTid);
  EXPECT_EQ(fromThread, expected);
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

  const auto lines = Lines();
  std::vector<std::vector<int>> seen(kThreads);
  for (const LogLine& line : lines) {
    if (line.function != "Writer") continue;
    EXPECT_TRUE(line.context == "ctxA" || line.context == "context-B-longer-than-SSO-buffer" || line.context.empty())
        << line.context;
    int t = -1;
    int i = -1;
    ASSERT_EQ(std::sscanf(line.message.c_str(), "t%d line %d", &t, &i), 2) << line.message;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    seen[t].push_back(i);
  }
  // Every line arrives once, each thread's lines in the order written.
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kLines)) << t;
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(seen[t][i], i);
  }
}

TEST_F(EvDebugWrite, ForkedChildAndParentWriteTheSameLog) {
  Open();
  EvDebug log;
  log.Debug("Fn", "opened");
  constexpr int kLines = 500;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    EvDebug inChild;
    for (int i = 0; i < kLines; ++i) inChild.Debug("Child", "child line %d", i);
    ::_exit(0);
  }
  for (int i = 0; i < kLines; ++i) log.Debug("Parent", "parent line %d", i);

  int status = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      FAIL() << "child did not finish";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  int fromChild = 0;
  int fromParent = 0;
  for (const LogLine& line : Lines()) {
    if (line.function == "Child") {
      EXPECT_EQ(line.pid, static_cast<long>(child));
      EXPECT_EQ(line.message, "child line " + std::to_string(fromChild));
      ++fromChild;
    } else if (line.function == "Parent") {
      EXPECT_EQ(line.pid, static_cast<long>(::getpid()));
      EXPECT_EQ(line.message, "parent line " + std::to_string(fromParent));
      ++fromParent;
    }
  }
  EXPECT_EQ(fromChild, kLines);
  EXPECT_EQ(fromParent, kLines);
}

}  // namespace
