// zndemo: a small service of the suite, showing the library at work. It
// opens its process log, writes lines at several levels, builds and prints
// an error chain, throws and catches a ZnException, and tells where its log
// file is.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zn/error/FXErrorItemMM.h"
#include "zn/error/ZnException.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: zndemo [--log-dir DIR] [--level N]\n"
               "  --log-dir DIR  folder of the process log (default: ./var/log)\n"
               "  --level N      debug level of the log (default: the catalogue's)\n");
}

// A step of a job that fails three calls deep, each caller adding context.
CYqError OpenMediaIndex(const std::string& path) {
  FXFileInfo info;
  CYqError error = FXFile::GetInfo(path, info);
  if (error.IsError()) return error.Push(FX_CODE_LOCATION, "Cannot open the media index [%s]", path.c_str());
  return CYqError::Success();
}

CYqError PrepareRestore(long long jobId) {
  CYqError error = OpenMediaIndex("/nonexistent/media/index.db");
  if (error.IsError()) {
    FXErrorUtil::PushMM(error, FX_CODE_LOCATION, 42, "Restore job [%lld] cannot start", jobId);
  }
  return error;
}

}  // namespace

int main(int argc, char** argv) {
  std::string logDir = "var/log";
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
  if (!log.initialize(EvDebug::getLogId("zndemo"), 0, logDir.c_str(), false)) {
    std::fprintf(stderr, "zndemo: cannot open the process log in [%s]\n", logDir.c_str());
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

  log.Debug("zndemo::main", "Service stopping");
  std::printf("Log file    : %s\n", log.getLogFilePath().c_str());
  return 0;
}
