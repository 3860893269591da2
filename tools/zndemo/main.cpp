// zndemo: a small service of the suite, showing the library at work. It
// opens its process log, writes lines at several levels, builds and prints
// an error chain, throws and catches a ZnException, runs a few workers
// coordinated by the library's locks (one step guarded machine-wide by a
// named mutex), and tells where its log file is.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zn/error/FXErrorItemMM.h"
#include "zn/error/ZnException.h"
#include "zn/log/EvDebug.h"
#include "zn/sync/ZnSync.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: zndemo [--log-dir DIR] [--level N]\n"
               "  --log-dir DIR  folder of the process log (default: the store's dEVLOGDIR)\n"
               "  --level N      debug level of the log (default: the catalogue's)\n");
}

// A step of a job that fails three calls deep, each caller adding context.
CYqError OpenMediaIndex(const std::string& path) {
  FXFileInfo info;
  CYqError error = FXFile::GetInfo(path, info);
  if (error.IsError()) return error.Push(FX_CODE_LOCATION, "Cannot open the media index [%s]", path.c_str());
  return CYqError::Success();
}

// The job's own error number (MM 42) says what failed for the job; the
// cause travels as its description.
CYqError PrepareRestore(long long jobId) {
  const CYqError cause = OpenMediaIndex("/nonexistent/media/index.db");
  if (cause.IsSuccess()) return cause;
  CYqError error = FXErrorUtil::ErrorMM(FX_CODE_LOCATION, 42, "Restore job [%lld] cannot start: %s", jobId,
                                        cause.AsString(eErrorOutputUser).c_str());
  return error.Push(FX_CODE_LOCATION, "While preparing the restore");
}

// Three workers take items from a shared counter under a monitor; the main
// thread waits on the flags of running workers until they reach 0. One step
// per worker runs under a named mutex, as a step that other processes of
// the machine must not run at the same time would.
void RunWorkers(EvDebug& log) {
  constexpr int kWorkers = 3;
  constexpr int kItems = 30;
  ZnMonitor queue;
  int nextItem = 0;
  int done = 0;
  ZnSafeFlags running(0);
  MDMutex machineStep("\\zndemo.catalog-update", true);
  if (!machineStep.isValid()) log.Error("zndemo::RunWorkers", "The machine-wide mutex could not be made");

  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      ZnSafeFlagsInc active(&running, 1);
      while (true) {
        int item;
        {
          ZnMonitorLock lock(&queue);
          if (nextItem == kItems) break;
          item = nextItem++;
        }
        log.DebugLvl("zndemo::worker", 2, static_cast<long long>(item), "Worker [%d] processed item [%d]", w, item);
        ZnMonitorLock lock(&queue);
        ++done;
      }
      if (machineStep.set(5000)) {
        log.Debug("zndemo::worker", "Worker [%d] updated the catalog under [%s]", w, machineStep.getName());
        machineStep.unset();
      }
    });
  }
  {
    ZnMonitorLock lock(&running);
    while (running.raw() != 0 || done < kItems) running.wait(100);
  }
  for (auto& worker : workers) worker.join();
  log.Debug("zndemo::RunWorkers", "[%d] workers processed [%d] items", kWorkers, done);
  std::printf("Workers     : %d workers processed %d items\n", kWorkers, done);
}

}  // namespace

int main(int argc, char** argv) {
  std::string logDir;  // empty: the folder the store names
  int level = -100;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--log-dir") == 0 && i + 1 < argc) {
      logDir = argv[++i];
    } else if (std::strcmp(argv[i], "--level") == 0 && i + 1 < argc) {
      level = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }

  EvDebug log;
  const bool opened = logDir.empty() ? log.initialize(EvDebug::getLogId("zndemo"), 0, false)
                                     : log.initialize(EvDebug::getLogId("zndemo"), 0, logDir.c_str(), false);
  if (!opened) {
    std::fprintf(stderr, "zndemo: cannot open the process log\n");
    return 1;
  }
  if (level != -100) log.setDebugLevel(level);

  log.Debug("zndemo::main", "Service starting. Host [%s] Process [%s] Pid [%ld]", EvDebug::getHostName(),
            EvDebug::getProcessName(), EvDebug::getProcessId());
  log.DebugLvl("zndemo::main", 1, "Debug level is [%d]; catalogue default [%d]", log.getDebugLevel(),
               log.getDefaultDebugLevel());
  log.DebugLvl("zndemo::main", 2, "A level-2 detail line: written only when the level is 2 or more");
  log.DebugLvl("zndemo::main", 5, 1234LL, "A per-item trace for job [%d]", 1234);

  const CYqError error = PrepareRestore(1234);
  log.Error("zndemo::main", "Restore preparation failed: %s", error.AsString().c_str());
  std::printf("Error chain : %s\n", error.AsString().c_str());
  std::printf("User text   : %s\n", error.AsString(eErrorOutputUser).c_str());
  std::printf("MM number   : %d\n", FXErrorUtil::GetMM(error));

  try {
    throw ZnException("zndemo::main", "buffer of 100% capacity cannot grow", __FILE__, __LINE__, 12);
  } catch (const ZnException& e) {
    log.Error("zndemo::main", "Caught: %s", e.formatError().c_str());
    std::printf("Exception   : %s (file %s, line %d, errno %d)\n", e.formatError().c_str(), e.getFileName(),
                e.getLineNum(), e.getErrno());
  }

  RunWorkers(log);

  log.Debug("zndemo::main", "Service stopping");
  std::printf("Log file    : %s\n", log.getLogFilePath().c_str());
  return 0;
}
