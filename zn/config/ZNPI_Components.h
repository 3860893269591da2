// The settings of the suite's components that each keep one section: the
// communications daemon, alerts, run-time libraries, databases, the media
// and resource managers, free-space checks and storage resource management.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/config/ZNPI_Component.h"
#include "zn/config/ZNPlatformInfo.h"

// The constructors, copy and the own-error accessors every one of them has.
#define ZN_COMPONENT_BASICS(Class, Section)                                                        \
 public:                                                                                          \
  Class() = default;                                                                              \
  explicit Class(EvDebug* log) : ZNPlatformInfo(log) {}                                           \
  Class(int consoleEcho, int logEcho) : ZNPlatformInfo(consoleEcho, logEcho) {}                   \
  unsigned long getLastError() const { return m_values.lastError(); }                             \
  std::string getLastErrorMsg() const { return m_values.lastErrorMsg(); }                         \
                                                                                                  \
 private:                                                                                         \
  zn::detail::ComponentValues m_values{Section};                                                  \
                                                                                                  \
 public:

class ZN_EXPORT ZNPI_Znd : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_Znd, "Znd")
  unsigned long getMinZNDMessageHandlerThreads();
  unsigned long getInitialZNDMessageHandlerThreads();
  unsigned long getMaxZNDMessageHandlerThreads();
  unsigned long getZNDMessageHandlerThreadTimeoutMinutes();
  unsigned long getZNDMessageHandlerStatsDisplayIntervalMinutes();
  unsigned long getZNDMessageHandlerSockRecvIntervalSeconds();
  unsigned long getIndexDebug(bool refresh = false);
  unsigned long getSQLDebug(bool refresh = false);

 private:
  uint32_t m_indexDebug = 0, m_sqlDebug = 0;
};

class ZN_EXPORT ZNPI_Alert : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_Alert, "Alert")
  unsigned long getOptions(bool refresh = false);
  unsigned long getHighWaterMark(bool refresh = false);
  unsigned long getLowWaterMark(bool refresh = false);

 private:
  uint32_t m_options = 0, m_highWaterMark = 0, m_lowWaterMark = 0;
};

class ZN_EXPORT ZNPI_Runtime : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_Runtime, "Runtime")
  // The library named for a role ("sLN" + role, e.g. "sLNSQL").
  std::string getLibraryName(const char* role);
};

class ZN_EXPORT ZNPI_DataBase : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_DataBase, "Database")
  // "sCONNECTION", or "sCONNECTION_" + database for a named one.
  std::string getConnectionString(const char* database = nullptr);
  // Per process: "<process>_nCACHEHIGH" and so on, else the plain value.
  unsigned long getCacheHighWaterMark(const char* process = nullptr);
  unsigned long getCacheLowWaterMark(const char* process = nullptr);
  unsigned long getLockTimeout(const char* process = nullptr);
  unsigned long getDebugLevel(const char* suffix = nullptr);
  std::string getInstance();
  std::string getDatabaseType();
  std::string getDsnList();
  std::string getLogFile();

 private:
  unsigned long perProcess(const char* name, const char* process);
};

class ZN_EXPORT ZNPI_MediaManager : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_MediaManager, "MediaManager")
  unsigned long getMaintenanceIntervalMinutes();
  unsigned long getPruneIntervalMinutes();
  bool isAdminThreadDisabled();
  bool isPruneThreadDisabled();
  // Retry state of a host or a mount path below "MagPrune\Hosts\" and
  // "MagPrune\MountPaths\".
  bool getHostRetryState(const char* host, unsigned long& lastRetry, unsigned long& status);
  bool setHostRetryState(const char* host, unsigned long lastRetry, unsigned long status);
  bool getMountPathRetryState(const char* path, unsigned long& lastRetry, unsigned long& status);
  bool setMountPathRetryState(const char* path, unsigned long lastRetry, unsigned long status);

 private:
  bool readRetry(const std::string& section, unsigned long& lastRetry, unsigned long& status);
  bool writeRetry(const std::string& section, unsigned long lastRetry, unsigned long status);
};

class ZN_EXPORT ZNPI_ResourceManager : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_ResourceManager, "ResourceManager")
  unsigned long getInterruptDelayInterval();
  unsigned long getResourceReleaseIntervalMin();
  bool isBackupCachingDisabled();
  bool isRestoreCachingDisabled();
  bool isMultiplexForced();
  bool isBestcaseReservationOff();
  bool isVersionCheckOverridden(int which);
};

// Free-space minimums are in megabytes.
class ZN_EXPORT ZNPI_SpaceCheck : public ZNPlatformInfo {
  ZN_COMPONENT_BASICS(ZNPI_SpaceCheck, "QMachineMaint")
  // "n<area>_MIN" / "n<area>_MAX" for the areas ORVANE, ORVANEDB, ORVANETEMP,
  // LogFiles, JOBRESULTS, SMTP, SYSTEMP, SYSVAR.
  unsigned long getMinimumFreeSpace(const char* area);
  unsigned long getMaximumFreeSpace(const char* area);
  unsigned long getMaintenanceIntervalMinutes();
  unsigned long getDiskCacheThresholdPercent();
  unsigned long getObjectServerCacheThresholdPercent();
  unsigned long getMinFreeSpacePercentageForSmtpCacheDir();
  unsigned long getAnalyticsIndexDirMinSpaceMB();
  unsigned long getAnalyticsRestartIndexDirMinSpaceMB();
  unsigned long getContentIndexInstallDirMinSpaceMB();
  unsigned long getObjectServerCacheDirMinSpaceMB();
  // The check flags: "bCHECK_DC", "bCHECK_ORVANE", "bCHECK_INDEXCACHE",
  // "bCHECK_NONZNDIR", "bCHECK_SYSTEM", "bENABLE_LOG", "bALERT_ON_LOW_SPACE",
  // "bUSE_EVENTS".
  bool isCheckEnabled(const char* flag);
  unsigned long getDebugFlag();
};

// Storage resource management: each getter fills its out-argument and
// returns true, with the default when the value is unreadable.
class ZN_EXPORT ZNPI_Srm {
 public:
  ZNPI_Srm() = default;
  explicit ZNPI_Srm(EvDebug* log) : m_store(log) {}

  bool getExchangeRemotingPort(unsigned long& out);
  bool getSPRemotingPort(unsigned long& out);
  bool getNASCLIRetryCount(unsigned long& out);
  bool getNASCLITimeoutSeconds(unsigned long& out);
  bool getWinFSQVDCRetryCount(unsigned long& out);
  bool getWinFSQVDCRetryWaitTime(unsigned long& out);

  const char* getFocus() const { return m_store.getFocus(); }
  int setFocus(const char* instance) { return m_store.setFocus(instance); }
  void setToDefaultFocus() { m_store.setToDefaultFocus(); }
  unsigned long getLastError() const { return m_values.lastError(); }
  std::string getLastErrorMsg() const { return m_values.lastErrorMsg(); }

 private:
  ZNPlatformInfo m_store;
  zn::detail::ComponentValues m_values{"SRM"};
};
