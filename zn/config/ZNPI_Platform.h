// The settings of the machine's roles: HubServe, media node, client, HubNet
// child and parent, SDK and production data. Each holds a base store object
// and a password, and knows its platform type.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/config/ZNPI_Base.h"
#include "zn/crypto/ZNPassword.h"

class ZN_EXPORT ZNPI_PlatformBase {
 public:
  // Type 0 takes the machine's own role from its platform type: 1 when it
  // has bit 1, else 4 when it has bit 4, else 2 when it has bit 2, else 0.
  explicit ZNPI_PlatformBase(unsigned long platformType = 0, const char* section = nullptr, EvDebug* log = nullptr);

  unsigned long getPlatformBaseType() const { return m_platformType; }
  const char* getSection() const { return m_values.section(); }
  ZNPI_Base& base() { return m_base; }

  const char* getFocus() const { return m_base.getFocus(); }
  int setFocus(const char* instance) { return m_base.setFocus(instance); }
  void setToDefaultFocus() { m_base.setToDefaultFocus(); }
  bool isClusterGroupClient(const char* client) { return m_base.isClusterGroupClient(client); }
  unsigned long getLastError() const { return m_values.lastError(); }
  std::string getLastErrorMsg() const { return m_values.lastErrorMsg(); }

 protected:
  ZNPI_Base m_base;
  ZNPassword m_password;
  unsigned long m_platformType;
  zn::detail::ComponentValues m_values;
};

class ZN_EXPORT ZNPI_HubServer : public ZNPI_PlatformBase {
 public:
  explicit ZNPI_HubServer(EvDebug* log = nullptr) : ZNPI_PlatformBase(kZnPlatformHubServer, "HubServe", log) {}

  unsigned long getAlertDetectorHeartBeat();
  unsigned long getSchedDebug();
  unsigned long getSchedDeleteDelay();
  unsigned long getSchedLatency();
  unsigned long getSchedWindow();
  unsigned long getStaleCredsCheckHeartBeat();
  unsigned long getStaleCredsCheckMaxCount();
  unsigned long getHubCellId();
  bool isBlockAlerts();
  bool isTraceAlerts();
};

class ZN_EXPORT ZNPI_MediaNode : public ZNPI_PlatformBase {
 public:
  explicit ZNPI_MediaNode(EvDebug* log = nullptr) : ZNPI_PlatformBase(kZnPlatformMediaNode, "MediaNode", log) {}

  unsigned long getDataMoverRetryCount();
  unsigned long getDataMoverRetryWaitSeconds();
  const char* getIndexCacheDirectory();
  bool isChunkVerificationEnabled();
  bool isTapeHardwareCompressionOff();
  unsigned long getRolesBitMask();

 protected:
  ZNPI_MediaNode(EvDebug* log, const char* section) : ZNPI_PlatformBase(kZnPlatformMediaNode, section, log) {}

 private:
  std::string m_indexCacheDirectory;
};

class ZN_EXPORT ZNPI_NDMPAPI : public ZNPI_MediaNode {
 public:
  explicit ZNPI_NDMPAPI(EvDebug* log = nullptr) : ZNPI_MediaNode(log, "NDMP_API") {}

  unsigned long getDataTaskTerminationTimeout(bool refresh = false);
  unsigned long getLogSeverity(bool refresh = false);
  unsigned long getReadSocketTimeout(bool refresh = false);
  unsigned long getNdmpSessionTimeout(bool refresh = false);
  unsigned long getTraceComponents(bool refresh = false);
  unsigned long getTraceDetail(bool refresh = false);

 private:
  uint32_t m_terminationTimeout = 0, m_logSeverity = 0, m_readSocketTimeout = 0, m_sessionTimeout = 0,
           m_traceComponents = 0, m_traceDetail = 0;
};

class ZN_EXPORT ZNPI_HubClient : public ZNPI_PlatformBase {
 public:
  explicit ZNPI_HubClient(EvDebug* log = nullptr) : ZNPI_PlatformBase(kZnPlatformClient, "iDepotAgent", log) {}

  // The job results folder and its account; the client's own value below
  // "Machines\<client>" first, then "iDepotAgent". The buffer forms fail
  // with "Jobresults directory, username or password does not fit into the
  // amount of memory allocated" when a buffer is too small.
  bool getJobResultsDirectory(const char* client, std::string& directory, std::string& user,
                              std::string& password);
  bool getJobResultsDirectory(const char* client, char* directory, int directorySize, char* user, int userSize,
                              char* password, int passwordSize);

 protected:
  ZNPI_HubClient(EvDebug* log, const char* section) : ZNPI_PlatformBase(kZnPlatformClient, section, log) {}
};

class ZN_EXPORT ZNPI_HubNetChild : public ZNPI_PlatformBase {
 public:
  explicit ZNPI_HubNetChild(EvDebug* log = nullptr) : ZNPI_PlatformBase(kZnPlatformHubNetChild, "HubNet", log) {}

  std::string getName();
  std::string getHostName();
  std::string getVersion();
  // The child's library for a role ("sLN" + role).
  std::string getLibraryName(const char* role);
};

class ZN_EXPORT ZNPI_HubNetParent : public ZNPI_PlatformBase {
 public:
  explicit ZNPI_HubNetParent(EvDebug* log = nullptr) : ZNPI_PlatformBase(kZnPlatformHubNetParent, "HubNet", log) {}

  std::string getName();
  std::string getHostName();
  std::string getVersion();
};

class ZN_EXPORT ZNPI_PerlaneSDK : public ZNPI_PlatformBase {
 public:
  explicit ZNPI_PerlaneSDK(EvDebug* log = nullptr) : ZNPI_PlatformBase(kZnPlatformSdk, nullptr, log) {}
};

class ZN_EXPORT ZNPI_Production : public ZNPI_PlatformBase {
 public:
  // The platform type comes from the store.
  explicit ZNPI_Production(EvDebug* log = nullptr) : ZNPI_PlatformBase(0, "ProductionData", log) {}

  const char* getProductionDataDirectory();
  // Registers a production data mount below "~ProductionData".
  bool registerMount(const char* name, const char* path);
  bool unregisterMount(const char* name);

 private:
  std::string m_directory;
};
