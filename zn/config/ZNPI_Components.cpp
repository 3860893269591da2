#include "zn/config/ZNPI_Components.h"

// ---- ZNPI_Znd ----

unsigned long ZNPI_Znd::getMinZNDMessageHandlerThreads() {
  return m_values.number(*this, "nMinZNDMessageHandlerThreads", 2);
}
unsigned long ZNPI_Znd::getInitialZNDMessageHandlerThreads() {
  return m_values.number(*this, "nInitialZNDMessageHandlerThreads", 2);
}
unsigned long ZNPI_Znd::getMaxZNDMessageHandlerThreads() {
  return m_values.number(*this, "nMaxZNDMessageHandlerThreads", 150);
}
unsigned long ZNPI_Znd::getZNDMessageHandlerThreadTimeoutMinutes() {
  return m_values.number(*this, "nZNDMessageHandlerThreadTimeoutMinutes", 0);
}
unsigned long ZNPI_Znd::getZNDMessageHandlerStatsDisplayIntervalMinutes() {
  return m_values.number(*this, "nZNDMessageHandlerStatsDisplayIntervalMinutes", 0);
}
unsigned long ZNPI_Znd::getZNDMessageHandlerSockRecvIntervalSeconds() {
  return m_values.number(*this, "nZNDMessageHandlerSockRecvIntervalSeconds", 0);
}
unsigned long ZNPI_Znd::getIndexDebug(bool refresh) {
  return m_values.cachedNumber(*this, "nINDEXDEBUG", m_indexDebug, refresh, 0);
}
unsigned long ZNPI_Znd::getSQLDebug(bool refresh) { return m_values.cachedNumber(*this, "nSQL", m_sqlDebug, refresh, 0); }

// ---- ZNPI_Alert ----

unsigned long ZNPI_Alert::getOptions(bool refresh) { return m_values.cachedNumber(*this, "Options", m_options, refresh, 0); }
unsigned long ZNPI_Alert::getHighWaterMark(bool refresh) {
  return m_values.cachedNumber(*this, "HighWaterMark", m_highWaterMark, refresh, 0);
}
unsigned long ZNPI_Alert::getLowWaterMark(bool refresh) {
  return m_values.cachedNumber(*this, "LowWaterMark", m_lowWaterMark, refresh, 0);
}

// ---- ZNPI_Runtime ----

std::string ZNPI_Runtime::getLibraryName(const char* role) {
  return m_values.text(*this, (std::string("sLN") + (role != nullptr ? role : "")).c_str());
}

// ---- ZNPI_DataBase ----

std::string ZNPI_DataBase::getConnectionString(const char* database) {
  const std::string name = database != nullptr && database[0] != '\0' ? std::string("sCONNECTION_") + database
                                                                      : std::string("sCONNECTION");
  return m_values.text(*this, name.c_str());
}

unsigned long ZNPI_DataBase::perProcess(const char* name, const char* process) {
  if (process != nullptr && process[0] != '\0') {
    unsigned long value = 0;
    if (m_values.readNumber(*this, (std::string(process) + "_" + name).c_str(), value)) return value;
  }
  return m_values.number(*this, name, 0);
}

unsigned long ZNPI_DataBase::getCacheHighWaterMark(const char* process) { return perProcess("nCACHEHIGH", process); }
unsigned long ZNPI_DataBase::getCacheLowWaterMark(const char* process) { return perProcess("nCACHELOW", process); }
unsigned long ZNPI_DataBase::getLockTimeout(const char* process) { return perProcess("nLOCKTIMEOUT", process); }

unsigned long ZNPI_DataBase::getDebugLevel(const char* suffix) {
  const std::string name = suffix != nullptr && suffix[0] != '\0' ? std::string("nDEBUG_") + suffix : "nDEBUG";
  return m_values.number(*this, name.c_str(), 0);
}

std::string ZNPI_DataBase::getInstance() { return m_values.text(*this, "sINSTANCE"); }
std::string ZNPI_DataBase::getDatabaseType() { return m_values.text(*this, "sDBTYPE"); }
std::string ZNPI_DataBase::getDsnList() { return m_values.text(*this, "sDSNLIST"); }
std::string ZNPI_DataBase::getLogFile() { return m_values.text(*this, "sLOGFILE"); }

// ---- ZNPI_MediaManager ----

unsigned long ZNPI_MediaManager::getMaintenanceIntervalMinutes() {
  return m_values.number(*this, "nMaintenanceIntervalMinutes", 60);
}
unsigned long ZNPI_MediaManager::getPruneIntervalMinutes() { return m_values.number(*this, "nPruneIntervalMinutes", 60); }
bool ZNPI_MediaManager::isAdminThreadDisabled() { return m_values.flag(*this, "bDisableAdminThread"); }
bool ZNPI_MediaManager::isPruneThreadDisabled() { return m_values.flag(*this, "bDisablePruneThread"); }

bool ZNPI_MediaManager::readRetry(const std::string& section, unsigned long& lastRetry, unsigned long& status) {
  if (getNumber(section.c_str(), "nLastRetry", &lastRetry) == 0 || getNumber(section.c_str(), "nStatus", &status) == 0) {
    m_values.recordFailure(*this);
    return false;
  }
  return true;
}

bool ZNPI_MediaManager::writeRetry(const std::string& section, unsigned long lastRetry, unsigned long status) {
  if (setNumber(section.c_str(), "nLastRetry", lastRetry) == 0 || setNumber(section.c_str(), "nStatus", status) == 0) {
    m_values.recordFailure(*this);
    return false;
  }
  return true;
}

bool ZNPI_MediaManager::getHostRetryState(const char* host, unsigned long& lastRetry, unsigned long& status) {
  return host != nullptr && readRetry(std::string("MediaManager\\MagPrune\\Hosts\\") + host, lastRetry, status);
}
bool ZNPI_MediaManager::setHostRetryState(const char* host, unsigned long lastRetry, unsigned long status) {
  return host != nullptr && writeRetry(std::string("MediaManager\\MagPrune\\Hosts\\") + host, lastRetry, status);
}
bool ZNPI_MediaManager::getMountPathRetryState(const char* path, unsigned long& lastRetry, unsigned long& status) {
  return path != nullptr && readRetry(std::string("MediaManager\\MagPrune\\MountPaths\\") + path, lastRetry, status);
}
bool ZNPI_MediaManager::setMountPathRetryState(const char* path, unsigned long lastRetry, unsigned long status) {
  return path != nullptr && writeRetry(std::string("MediaManager\\MagPrune\\MountPaths\\") + path, lastRetry, status);
}

// ---- ZNPI_ResourceManager ----

unsigned long ZNPI_ResourceManager::getInterruptDelayInterval() {
  return m_values.number(*this, "nInterruptDelayInterval", 0);
}
unsigned long ZNPI_ResourceManager::getResourceReleaseIntervalMin() {
  return m_values.number(*this, "nResourceReleaseIntervalMin", 0);
}
bool ZNPI_ResourceManager::isBackupCachingDisabled() { return m_values.flag(*this, "bDisableBackupCaching"); }
bool ZNPI_ResourceManager::isRestoreCachingDisabled() { return m_values.flag(*this, "bDisableRestoreCaching"); }
bool ZNPI_ResourceManager::isMultiplexForced() { return m_values.flag(*this, "bForceMultiplex"); }
bool ZNPI_ResourceManager::isBestcaseReservationOff() { return m_values.flag(*this, "bTurnOffBestcaseReservation"); }
bool ZNPI_ResourceManager::isVersionCheckOverridden(int which) {
  static constexpr const char* kOverrides[] = {"bOverrideClientVersionCheck", "bOverrideMediaNodeVersionCheck",
                                               "bOverrideDriveVersionCheck"};
  return which >= 0 && which < 3 && m_values.flag(*this, kOverrides[which]);
}

// ---- ZNPI_SpaceCheck ----

namespace {

struct AreaLimit {
  const char* area;
  unsigned long minimum;
};

// The free-space floors; the matching "_MAX" values have no default.
constexpr AreaLimit kAreaMinimums[] = {
    {"ORVANE", 1024}, {"ORVANEDB", 2048}, {"ORVANETEMP", 1024}, {"LogFiles", 1024},
    {"JOBRESULTS", 1024}, {"SMTP", 1024}, {"SYSTEMP", 100}, {"SYSVAR", 1024},
};

unsigned long MinimumFor(const char* area) {
  for (const AreaLimit& limit : kAreaMinimums) {
    if (area != nullptr && std::string(area) == limit.area) return limit.minimum;
  }
  return 0;
}

}  // namespace

unsigned long ZNPI_SpaceCheck::getMinimumFreeSpace(const char* area) {
  return m_values.number(*this, ("n" + std::string(area != nullptr ? area : "") + "_MIN").c_str(), MinimumFor(area));
}
unsigned long ZNPI_SpaceCheck::getMaximumFreeSpace(const char* area) {
  return m_values.number(*this, ("n" + std::string(area != nullptr ? area : "") + "_MAX").c_str(), 0);
}
unsigned long ZNPI_SpaceCheck::getMaintenanceIntervalMinutes() {
  return m_values.number(*this, "nMACHINE_MAINT_INTERVAL_MINUTES", 1440);
}
unsigned long ZNPI_SpaceCheck::getDiskCacheThresholdPercent() { return m_values.number(*this, "nDC_THRESHOLD_PERC", 90); }
unsigned long ZNPI_SpaceCheck::getObjectServerCacheThresholdPercent() {
  return m_values.number(*this, "nOBJSRV_CACHEDIR_THRESHOLD_PERC", 70);
}
unsigned long ZNPI_SpaceCheck::getMinFreeSpacePercentageForSmtpCacheDir() {
  return m_values.number(*this, "nMinFreeSpacePercentageForSmtpCacheDir", 50);
}
unsigned long ZNPI_SpaceCheck::getAnalyticsIndexDirMinSpaceMB() {
  return m_values.number(*this, "nANALYTICS_INDEXDIR_MINSPACE_MB", 51200);
}
unsigned long ZNPI_SpaceCheck::getAnalyticsRestartIndexDirMinSpaceMB() {
  return m_values.number(*this, "nANALYTICS_RESTART_INDEXDIR_MINSPACE_MB", 0);
}
unsigned long ZNPI_SpaceCheck::getContentIndexInstallDirMinSpaceMB() {
  return m_values.number(*this, "nCI_INSTALLDIR_MINSPACE_MB", 10240);
}
unsigned long ZNPI_SpaceCheck::getObjectServerCacheDirMinSpaceMB() {
  return m_values.number(*this, "nOBJSRV_CACHEDIR_MINSPACE_MB", 10240);
}
bool ZNPI_SpaceCheck::isCheckEnabled(const char* flag) { return flag != nullptr && m_values.flag(*this, flag); }
unsigned long ZNPI_SpaceCheck::getDebugFlag() { return m_values.number(*this, "nDEBUG", 0); }

// ---- ZNPI_Srm ----

namespace {

bool Fill(zn::detail::ComponentValues& values, ZNPlatformInfo& store, const char* name, unsigned long fallback,
          unsigned long& out) {
  out = values.number(store, name, fallback);
  return true;
}

}  // namespace

bool ZNPI_Srm::getExchangeRemotingPort(unsigned long& out) { return Fill(m_values, m_store, "nExchangeRemotingPort", 0, out); }
bool ZNPI_Srm::getSPRemotingPort(unsigned long& out) { return Fill(m_values, m_store, "nSPRemotingPort", 0, out); }
bool ZNPI_Srm::getNASCLIRetryCount(unsigned long& out) { return Fill(m_values, m_store, "nNASCLIRetryCount", 0, out); }
bool ZNPI_Srm::getNASCLITimeoutSeconds(unsigned long& out) {
  return Fill(m_values, m_store, "nNASCLITimeoutSeconds", 0, out);
}
bool ZNPI_Srm::getWinFSQVDCRetryCount(unsigned long& out) { return Fill(m_values, m_store, "nWinFSQVDCRetryCount", 0, out); }
bool ZNPI_Srm::getWinFSQVDCRetryWaitTime(unsigned long& out) {
  return Fill(m_values, m_store, "nWinFSQVDCRetryWaitTime", 0, out);
}
