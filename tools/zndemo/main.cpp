// zndemo: the suite's typical service, small. It opens its process log,
// creates its thread pool from the store, starts its periodic tasks (its
// own and the library's log maintenance), processes a stream of work items
// with serial ids, and follows changes made in the store while it runs
// (log level, pool limits, task frequencies and switches). It reads and
// decodes the password it signs on with. It watches the
// local service daemon (znd) and keeps running when the daemon goes away,
// saying so in its summary. On SIGTERM or SIGINT, or after --seconds N, it
// stops its tasks, waits for its pool and prints a summary.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "DemoPassword.h"
#include "DemoTasks.h"
#include "DemoWork.h"
#include "zn/error/FXErrorItemMM.h"
#include "zn/log/EvDebug.h"
#include "zn/task/ZnPeriodicTask.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/znd/ZNDTerminationHandler.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "znfocus/ZNPI_Focus.h"

namespace {

constexpr const char* kMain = "zndemo::main";

std::atomic<bool> g_stop{false};
std::atomic<bool> g_daemonWentAway{false};

void OnSignal(int) { g_stop.store(true); }

// Called on the log's watch thread when znd ends (or is not running): the
// demo carries on without it.
bool OnDaemonGone() {
  g_daemonWentAway.store(true);
  EvDebug().Debug("zndemo::OnDaemonGone", "ZND went away; the demo carries on without it");
  return true;
}

// A failure three calls deep, each caller adding what it was doing: the
// kind of error chain a service writes to its log.
CYqError PrepareRestore(long long jobId) {
  FXFileInfo info;
  CYqError cause = FXFile::GetInfo("/nonexistent/media/index.db", info);
  if (cause.IsSuccess()) return cause;
  cause.Push(FX_CODE_LOCATION, "Cannot open the media index");
  CYqError error = FXErrorUtil::ErrorMM(FX_CODE_LOCATION, 42, "Restore job [%lld] cannot start: %s", jobId,
                                        cause.AsString(eErrorOutputUser).c_str());
  return error.Push(FX_CODE_LOCATION, "While preparing the restore");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The suite's typical service, small: a log, a thread pool, periodic tasks and a stream of work",
               "zndemo"};
  app.set_version_flag("--version", std::string("zndemo ") + ZN_VERSION);
  app.footer("Exit codes: 0 done, 1 a failure (the log, the pool, serial order, work not drained), 2 usage.");
  std::string logDir;
  std::optional<int> level;
  long seconds = 0;  // 0: until a signal
  app.add_option("--seconds", seconds, "Stop after this many seconds (default: run until SIGTERM or SIGINT)")
      ->check(CLI::Range(1L, 100L * 366 * 86400));
  app.add_option("--log-dir", logDir, "Folder of the process log (default: the store's EventManager/dEVLOGDIR)");
  app.add_option("--level", level, "Debug level of the log (default: the store's, else the catalogue's)")
      ->check(CLI::Range(-1, 1 << 30));
  std::string instance;
  app.add_option("--instance", instance, "The instance the service works for (default: $ZN_FOCUS)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "zndemo: %s (zndemo --help shows the usage)\n", e.what());
    return 2;
  }
  // A service works for one instance: its settings, its log folder and its
  // live status are that instance's.
  if (!instance.empty()) ZNPI_Focus::setFocus(instance.c_str());
  if (ZNPI_Focus::getFocus() == nullptr || ZNPI_Focus::getFocus()[0] == '\0') {
    std::fprintf(stderr, "zndemo: no instance to work for: name it with --instance NAME or $ZN_FOCUS\n");
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = &OnSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);

  // 1. The log; the daemon watch starts with it.
  ZNDTerminationHandler::TerminationCallback onDaemonGone = &OnDaemonGone;
  ZNDTerminationHandler::registerCallbackForZNDTermination(onDaemonGone);
  EvDebug log;
  const bool opened = logDir.empty() ? log.initialize(EvDebug::getLogId("zndemo"), 0, false)
                                     : log.initialize(EvDebug::getLogId("zndemo"), 0, logDir.c_str(), false);
  if (!opened) {
    std::fprintf(stderr, "zndemo: cannot open the process log\n");
    return 1;
  }
  if (level) log.setDebugLevel(*level);
  log.Debug(kMain, "Service starting. Host [%s] Process [%s] Pid [%ld] Debug level [%d]", EvDebug::getHostName(),
            EvDebug::getProcessName(), EvDebug::getProcessId(), log.getDebugLevel());
  const CYqError error = PrepareRestore(1234);
  log.Error(kMain, "Restore preparation failed: %s", error.AsString().c_str());

  // 2. The pool: 2 to 8 threads unless the store says otherwise
  //    ("Znd"/"zndemo_MinThreads", "zndemo_MaxThreads", "zndemo_Timeout").
  ZnThreadPool pool;
  if (!pool.initThreadPool("zndemo", 30, 2, 8, 2)) {
    log.Error(kMain, "The thread pool could not start");
    return 1;
  }
  zn::demo::WorkStream work(pool);

  // 3. The periodic tasks, on the same pool.
  std::atomic<int> done{0};
  zn::demo::ProgressSource progress;
  progress.pool = &pool;
  progress.done = &done;
  ZnPeriodicTaskMgr tasks("zndemo", &pool, zn::demo::DemoTaskTable(&progress));
  if (!tasks.StartPeriodicTasks()) log.Error(kMain, "The periodic tasks could not start");
  log.Debug(kMain, "[%zu] periodic tasks accepted", tasks.getTaskCount());

  // 4. The password it signs on with, decoded from the store.
  const std::string passwordLine = zn::demo::ReadStoredPassword(log);

  // 5. The work: a steady stream of items until told to stop.
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] { return std::chrono::steady_clock::now() - start; };
  while (!g_stop.load() && (seconds == 0 || elapsed() < std::chrono::seconds(seconds))) {
    for (int i = 0; i < 20; ++i) work.queueOne();
    done.store(work.done());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  // 6. The end: tasks first (their OnStop runs on the pool), then the pool.
  const long long ranMs = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed()).count();
  log.Debug(kMain, "Service stopping after [%lld] ms", ranMs);
  tasks.StopPeriodicTasks();
  const bool drained = pool.waitForAllThreads(true, false, false, 60);
  done.store(work.done());
  pool.Monitor();  // the statistics line of this run
  std::string problem;
  const bool ordered = work.orderKept(problem);
  if (!ordered) log.Error(kMain, "Serial order broken: %s", problem.c_str());
  log.Debug(kMain, "Service stopped. Items [%d] of [%d] done", work.done(), work.queued());

  std::printf("zndemo ran %.1f s\n", std::chrono::duration<double>(elapsed()).count());
  std::printf("Items       : %d done of %d queued\n", work.done(), work.queued());
  std::printf("Serial ids  : %s\n",
              ordered ? "every id ran its items in queue order, one at a time" : problem.c_str());
  std::printf("Pool        : max %u threads, service id %u\n", pool.getMaxCount(), pool.getServiceIdCount());
  std::printf("Tasks       : %zu accepted, Progress ran %d times\n", tasks.getTaskCount(), progress.runs.load());
  std::printf("Password    : %s\n", passwordLine.c_str());
  std::printf("Error chain : %s\n", error.AsString(eErrorOutputUser).c_str());
  std::printf("Daemon      : %s\n", g_daemonWentAway.load() ? "znd went away (or was not running) during the run"
                                                               : "no change seen");
  std::printf("Log file    : %s\n", log.getLogFilePath().c_str());
  return drained && ordered ? 0 : 1;
}
