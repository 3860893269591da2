// ZnPeriodicTaskStatus: entry points from the task table, or loaded by name
// from a library in the installation's home folder.

#include "zn/config/ZNPI_Base.h"
#include "zn/log/EvDebug.h"
#include "zn/task/internal/PeriodicTaskLog.h"
#include "zn/task/ZnPeriodicTask.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

using zn::detail::kPeriodicTaskJobId;

namespace {

constexpr const char* kLoad = "ZnPeriodicTaskStatus::loadCbFuncs";

}  // namespace

bool ZnPeriodicTaskStatus::loadCbFuncs() {
  m_onStart = m_onTimer = m_onStop = nullptr;
  if (m_item->libraryName == nullptr) {
    if (m_item->onTimer == nullptr) {
      EvDebug().Debug(kLoad, "Not adding task [%s][%s] as OnTimer function is NULL", getMgrName(), getTaskName());
      return false;
    }
    m_onStart = m_item->onStart;
    m_onTimer = m_item->onTimer;
    m_onStop = m_item->onStop;
    return true;
  }
  if (m_item->onTimerName == nullptr) {
    EvDebug().Debug(kLoad, "Not adding task [%s][%s] as OnTimer function is NULL. Dll [%s]", getMgrName(),
                    getTaskName(), m_item->libraryName);
    return false;
  }
  return loadFromLibrary();
}

bool ZnPeriodicTaskStatus::loadFromLibrary() {
  EvDebug log;
  const char* library = m_item->libraryName;
  ZNPI_Base base;
  const char* home = base.getHomeDirectory();
  if (home == nullptr || home[0] == '\0') {
    log.Debug(kLoad, "Failed to get the home directory from registry. Not loading task [%s] [%s] [%s]", getMgrName(),
              getTaskName(), library);
    return false;
  }
  const std::string path = FXPath::Append(home, library);

  FXFileInfo info;
  const CYqError found = FXFile::GetInfo(path, info);
  if (found.Is(yq::kErrorFileNotFound) || found.Is(yq::kErrorPathNotFound)) {
    log.DebugLvl(kLoad, 2, kPeriodicTaskJobId, "[%s][%s] library [%s] not found. Skipping task", getMgrName(),
                 getTaskName(), path.c_str());
    return false;
  }
  if (found.IsError()) {
    log.Debug(kLoad, "[%s][%s] Failed to check if library [%s] exist. Error: %s", getMgrName(), getTaskName(),
              path.c_str(), found.AsString().c_str());
    return false;
  }
  const CYqError loaded = m_library.Load(path);
  if (loaded.IsError()) {
    log.Debug(kLoad, "[%s][%s] Failed to load library [%s]. Error: %s", getMgrName(), getTaskName(), path.c_str(),
              loaded.AsString().c_str());
    return false;
  }

  // OnTimer first: it is the one every task needs.
  struct Wanted {
    const char* name;
    ZnPeriodicTaskEntry* target;
  };
  const Wanted wanted[] = {{m_item->onTimerName, &m_onTimer},
                           {m_item->onStartName, &m_onStart},
                           {m_item->onStopName, &m_onStop}};
  for (const Wanted& entry : wanted) {
    if (entry.name == nullptr) continue;
    void* address = nullptr;
    const CYqError resolved = m_library.GetAddress(entry.name, address);
    if (resolved.IsError()) {
      log.Debug(kLoad, "[%s][%s] Failed to get entry point [%s] in library [%s]. Error: %s", getMgrName(),
                getTaskName(), entry.name, path.c_str(), resolved.AsString().c_str());
      m_onStart = m_onTimer = m_onStop = nullptr;
      m_library.Free();
      return false;
    }
    *entry.target = reinterpret_cast<ZnPeriodicTaskEntry>(address);
  }
  m_libraryPath = path;
  log.DebugLvl(kLoad, 2, kPeriodicTaskJobId, "[%s][%s] Successfully loaded library [%s].", getMgrName(),
               getTaskName(), path.c_str());
  return true;
}

bool ZnPeriodicTaskStatus::freeCbFuncs() {
  if (!m_library.IsLoaded()) return false;
  m_onStart = m_onTimer = m_onStop = nullptr;
  m_library.Free();
  EvDebug().Debug("ZnPeriodicTaskStatus::freeCbFuncs", "[%s][%s] Successfully unloaded library [%s].", getMgrName(),
                  getTaskName(), m_libraryPath.c_str());
  m_libraryPath.clear();
  return true;
}
