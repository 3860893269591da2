// The event manager's, the base installation's and the library sections'
// settings.
#pragma once

#include <memory>
#include <string>

#include "zn/base/ZnExport.h"
#include "zn/config/ZNPI_Component.h"
#include "zn/config/ZNPlatformInfo.h"

class CYqLibrary;

class ZN_EXPORT ZNPI_EventManager : public ZNPlatformInfo {
 public:
  ZNPI_EventManager() = default;
  explicit ZNPI_EventManager(EvDebug* log) : ZNPlatformInfo(log) {}
  ZNPI_EventManager(int consoleEcho, int logEcho) : ZNPlatformInfo(consoleEcho, logEcho) {}

  unsigned long getDebugFlag();
  unsigned long getMaxLogFilesCount();
  unsigned long getMaxLogFilesSize();
  unsigned long getInactivitySocketTimeout();
  unsigned long getSocketTimeout();
  const char* getLogFilesDirectory();
  bool getRedirectEventsToLog(int& value);
  bool getCreateAlertsLog();
  unsigned long setSocketTimeout(unsigned long seconds);
  unsigned long setInactivitySocketTimeout(unsigned long seconds);
  bool setRedirectEventsToLog(int value);

  unsigned long getLastError() const { return m_eventManager.lastError(); }
  std::string getLastErrorMsg() const { return m_eventManager.lastErrorMsg(); }

 private:
  zn::detail::ComponentValues m_eventManager{"EventManager"};
  std::string m_logFilesDirectory;
};

// Platform type bits of "Base"/"nPLATTYPE".
inline constexpr unsigned long kZnPlatformHubServer = 1;
inline constexpr unsigned long kZnPlatformMediaNode = 2;
inline constexpr unsigned long kZnPlatformClient = 4;
inline constexpr unsigned long kZnPlatformHubNetChild = 8;
inline constexpr unsigned long kZnPlatformHubNetParent = 16;
inline constexpr unsigned long kZnPlatformSdk = 128;

class ZN_EXPORT ZNPI_Base : public ZNPI_EventManager {
 public:
  ZNPI_Base() : ZNPI_EventManager(0, 1) {}
  explicit ZNPI_Base(EvDebug* log) : ZNPI_EventManager(0, 1) { setEvent(log); }
  ZNPI_Base(int consoleEcho, int logEcho) : ZNPI_EventManager(consoleEcho, logEcho) {}

  // Directories: cached on the first successful read; null when unreadable.
  const char* getOrvaneDirectory();
  bool getOrvaneDirectory(char* buf, int size);
  const char* getHomeDirectory();
  const char* getJobControlDirectory();
  // "dORVANETEMPDIR", or "dTEMP" for product type 2.
  const char* getOrvaneTempDirectory();
  const char* getOrvaneDBPath();
  const char* getPassPhraseDirectory();
  const char* getVersion();
  // The digits of the version before its first "(" as one number
  // ("7.0.0(BUILD12)" gives 700); -1 without a version.
  int getVersionNumber();
  unsigned long getArchiveTimeoutMinutes();
  unsigned long setArchiveTimeoutMinutes(unsigned long minutes);
  unsigned long getMaxCountSessionPoolToAppMan();
  unsigned long getMaxCountSessionPoolToJM();

  // The platform type, read once (0: unknown, and every test is false).
  unsigned long getPlatformType();
  bool isPlatformType(unsigned long mask);
  bool isPlatformTypeHS() { return isPlatformType(1); }
  bool isPlatformTypeMN() { return isPlatformType(2); }
  bool isPlatformTypeCC() { return isPlatformType(4); }
  bool isPlatformTypeHSMN() { return isPlatformType(3); }
  bool isPlatformTypeHSCC() { return isPlatformType(5); }
  bool isPlatformTypeMNCC() { return isPlatformType(6); }
  bool isPlatformTypeHSMNCC() { return isPlatformType(7); }
  ZNPlatformInfo* getPID() { return this; }

  unsigned long getLastError() const { return m_base.lastError(); }
  std::string getLastErrorMsg() const { return m_base.lastErrorMsg(); }

 private:
  zn::detail::ComponentValues m_base{"Base"};
  zn::detail::ComponentValues m_install{"Install"};
  std::string m_orvaneDirectory, m_homeDirectory, m_jobControlDirectory, m_tempDirectory, m_dbPath,
      m_passPhraseDirectory, m_version;
  uint32_t m_platformType = 0;
};

class ZN_EXPORT ZNPI_Library : public ZNPI_Base {
 public:
  ZNPI_Library() = default;
  explicit ZNPI_Library(EvDebug* log) : ZNPI_Base(log) {}

  // The library named for a role ("sLN" + role, e.g. "sLNSQL").
  std::string getLibraryName(const char* role);
  // Loads the role's library and returns the entry point whose name the
  // value `entryValue` holds; null (and a log line) when either fails. The
  // library stays loaded while this object or a copy lives.
  void* getEntryPoint(const char* role, const char* entryValue);

 private:
  zn::detail::ComponentValues m_library{"Library"};
  std::shared_ptr<CYqLibrary> m_loaded;
};
