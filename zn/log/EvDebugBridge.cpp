// The log's links to the utility library and to the asynchronous logging
// service: the bridge that carries the utility library's own lines into
// the process log, its removal when this library is unloaded, and the
// clean-up call of the logging service.

#include <atomic>
#include <exception>
#include <string>

#include <boost/make_shared.hpp>

#include "zn/log/CEvDebugWrapper.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zn/log/LogTesting.h"
#include "zuzazer/CLogWriterInterface.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

std::atomic<bool> g_bridgeInstalled{false};

bool IsOurBridge(CLogWriterInterface* writer) {
  return dynamic_cast<CEvDebugWrapper*>(writer) != nullptr ||
         dynamic_cast<CEvDebugThreadInstanceWrapper*>(writer) != nullptr;
}

void DetachBridge() {
  const boost::shared_ptr<CLogWriterInterface> current = yq::GetLogWriter();
  if (current && IsOurBridge(current.get())) yq::ReplaceLogWriterIf(current.get(), CreateNullLogWriter());
}

// When this library goes, a sink whose code is ours must not outlive it:
// the utility library gets a null writer instead. At process exit this runs
// after every static destructor; the sink itself is never destroyed.
__attribute__((destructor)) void DetachBridgeOnUnload() { DetachBridge(); }

}  // namespace

void zn::testing::DetachLogBridge() { DetachBridge(); }

void EvDebug::ConfigureZuZazer() {
  if (g_bridgeInstalled.exchange(true)) return;
  yq::SetLogWriter(boost::make_shared<CEvDebugWrapper>(boost::make_shared<EvDebug>()));
}

void EvDebug::cleanupAsyncLoggingInProcess() {
  using CleanupFunction = bool (*)();
  EvDebug log;
  // A component of the suite: taken from the installation's home, never
  // from the loader's search path.
  const std::string file = CYqLibrary::GetLibraryNameForName("znloggingservice");
  const std::string home = zn::LogSettings::HomeDirectory();
  const std::string path = home.empty() ? file : FXPath::Append(home, file);
  CYqLibrary library;
  const CYqError loaded = home.empty() ? FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorPathNotFound,
                                                                 "The home directory is not configured")
                                       : library.Load(path);
  if (loaded.IsError()) {
    log.debug("EvDebug::cleanupThreadPool: Failed load library %s :%s\n", path.c_str(),
              loaded.AsString(eErrorOutputUser).c_str());
    return;
  }
  void* address = nullptr;
  if (library.GetAddress("cleanupThreadPoolForProcess", address).IsError()) {
    log.debug("EvDebug::cleanupThreadPool: Entrypoint function to load %s not found\n",
              "cleanupThreadPoolForProcess");
    return;
  }
  bool cleaned = false;
  try {
    cleaned = reinterpret_cast<CleanupFunction>(address)();
  } catch (const std::exception& e) {
    log.debug("EvDebug::cleanupThreadPool: Error is %s\n", e.what());
    return;
  } catch (...) {
    log.debug("EvDebug::cleanupThreadPool: Error is %s\n", "an unknown exception");
    return;
  }
  if (cleaned) {
    log.debug("EvDebug::cleanupThreadPool: Threadpool successfully cleaned\n");
  } else {
    log.debug("EvDebug::cleanupThreadPool: Faled to cleanyp thread pool\n");
  }
}
