#include "zn/config/ZNPI_Platform.h"

#include <cstring>

#include "zn/log/EvDebug.h"

namespace {

unsigned long RoleFromMachine(ZNPI_Base& base) {
  const unsigned long type = base.getPlatformType();
  if ((type & kZnPlatformHubServer) != 0) return kZnPlatformHubServer;
  if ((type & kZnPlatformClient) != 0) return kZnPlatformClient;
  if ((type & kZnPlatformMediaNode) != 0) return kZnPlatformMediaNode;
  return 0;
}

}  // namespace

ZNPI_PlatformBase::ZNPI_PlatformBase(unsigned long platformType, const char* section, EvDebug* log)
    : m_platformType(platformType), m_values(section) {
  if (log != nullptr) m_base.setEvent(log);
  if (m_platformType == 0) m_platformType = RoleFromMachine(m_base);
}

// ---- ZNPI_HubServer ----

unsigned long ZNPI_HubServer::getAlertDetectorHeartBeat() { return m_values.number(m_base, "nAlertDetectorHeartBeat", 0); }
unsigned long ZNPI_HubServer::getSchedDebug() { return m_values.number(m_base, "schedDebug", 0); }
unsigned long ZNPI_HubServer::getSchedDeleteDelay() { return m_values.number(m_base, "schedDeleteDelay", 0); }
unsigned long ZNPI_HubServer::getSchedLatency() { return m_values.number(m_base, "schedLatency", 0); }
unsigned long ZNPI_HubServer::getSchedWindow() { return m_values.number(m_base, "schedWindow", 0); }
unsigned long ZNPI_HubServer::getStaleCredsCheckHeartBeat() {
  return m_values.number(m_base, "nStaleCredsCheckHeartBeat", 0);
}
unsigned long ZNPI_HubServer::getStaleCredsCheckMaxCount() {
  return m_values.number(m_base, "nStaleCredsCheckMaxCount", 0);
}
unsigned long ZNPI_HubServer::getHubCellId() { return m_values.number(m_base, "nHUBCELLID", 0); }
bool ZNPI_HubServer::isBlockAlerts() { return m_values.flag(m_base, "bBlockAlerts"); }
bool ZNPI_HubServer::isTraceAlerts() { return m_values.flag(m_base, "bTraceAlerts"); }

// ---- ZNPI_MediaNode ----

unsigned long ZNPI_MediaNode::getDataMoverRetryCount() { return m_values.number(m_base, "nDataMoverRetryCount", 3); }
unsigned long ZNPI_MediaNode::getDataMoverRetryWaitSeconds() {
  return m_values.number(m_base, "nDataMoverRetryWaitSeconds", 30);
}
const char* ZNPI_MediaNode::getIndexCacheDirectory() {
  return m_values.cachedDirectory(m_base, "dFSINDEXCACHE", m_indexCacheDirectory);
}
bool ZNPI_MediaNode::isChunkVerificationEnabled() { return m_values.flag(m_base, "bEnableChunkVerification"); }
bool ZNPI_MediaNode::isTapeHardwareCompressionOff() { return m_values.flag(m_base, "bTurnOffTapeHWCompression"); }
unsigned long ZNPI_MediaNode::getRolesBitMask() { return m_values.number(m_base, "nRolesBitMask", 0); }

// ---- ZNPI_NDMPAPI ----

unsigned long ZNPI_NDMPAPI::getDataTaskTerminationTimeout(bool refresh) {
  return m_values.cachedNumber(m_base, "nDATATASKTERMINATIONTIMEOUT", m_terminationTimeout, refresh, 0);
}
unsigned long ZNPI_NDMPAPI::getLogSeverity(bool refresh) {
  return m_values.cachedNumber(m_base, "nLOGSEVERITY", m_logSeverity, refresh, 0);
}
unsigned long ZNPI_NDMPAPI::getReadSocketTimeout(bool refresh) {
  return m_values.cachedNumber(m_base, "nREADSOCKETTIMEOUT", m_readSocketTimeout, refresh, 0);
}
unsigned long ZNPI_NDMPAPI::getNdmpSessionTimeout(bool refresh) {
  return m_values.cachedNumber(m_base, "nNDMPSESSIONTIMEOUT", m_sessionTimeout, refresh, 0);
}
unsigned long ZNPI_NDMPAPI::getTraceComponents(bool refresh) {
  return m_values.cachedNumber(m_base, "nTRACECOMPONENTS", m_traceComponents, refresh, 0);
}
unsigned long ZNPI_NDMPAPI::getTraceDetail(bool refresh) {
  return m_values.cachedNumber(m_base, "nTRACEDETAIL", m_traceDetail, refresh, 0);
}

// ---- ZNPI_HubClient ----

bool ZNPI_HubClient::getJobResultsDirectory(const char* client, std::string& directory, std::string& user,
                                            std::string& password) {
  // The client's own setting below "Machines" wins over the agent's.
  const std::string machine = client != nullptr && client[0] != '\0' ? std::string("Machines\\") + client : "";
  const auto read = [&](const char* name, std::string& out) {
    if (!machine.empty() && m_base.getString(machine.c_str(), name, &out) != 0) return true;
    return m_values.readText(m_base, name, out);
  };
  if (!read("dJOBRESULTSDIR", directory)) return false;
  read("dJOBRESULTSDIR_Username", user);
  read("dJOBRESULTSDIR_Password", password);
  return true;
}

bool ZNPI_HubClient::getJobResultsDirectory(const char* client, char* directory, int directorySize, char* user,
                                            int userSize, char* password, int passwordSize) {
  std::string directoryText, userText, passwordText;
  if (!getJobResultsDirectory(client, directoryText, userText, passwordText)) return false;
  const auto fits = [](const std::string& text, char* buffer, int size) {
    return buffer != nullptr && size > 0 && text.size() + 1 <= static_cast<std::size_t>(size);
  };
  if (!fits(directoryText, directory, directorySize) || !fits(userText, user, userSize) ||
      !fits(passwordText, password, passwordSize)) {
    EvDebug().Error("ZNPI_HubClient::getJobResultsDirectory", "%s",
                    "Jobresults directory, username or password does not fit into the amount of memory allocated");
    return false;
  }
  std::memcpy(directory, directoryText.c_str(), directoryText.size() + 1);
  std::memcpy(user, userText.c_str(), userText.size() + 1);
  std::memcpy(password, passwordText.c_str(), passwordText.size() + 1);
  return true;
}

// ---- HubNet ----

std::string ZNPI_HubNetChild::getName() { return m_values.text(m_base, "sPNETNAME"); }
std::string ZNPI_HubNetChild::getHostName() { return m_values.text(m_base, "sPNETHOSTNAME"); }
std::string ZNPI_HubNetChild::getVersion() { return m_values.text(m_base, "sVERSION"); }
std::string ZNPI_HubNetChild::getLibraryName(const char* role) {
  return m_values.text(m_base, (std::string("sLN") + (role != nullptr ? role : "")).c_str());
}

std::string ZNPI_HubNetParent::getName() { return m_values.text(m_base, "sPNETNAME"); }
std::string ZNPI_HubNetParent::getHostName() { return m_values.text(m_base, "sPNETHOSTNAME"); }
std::string ZNPI_HubNetParent::getVersion() { return m_values.text(m_base, "sVERSION"); }

// ---- ZNPI_Production ----

const char* ZNPI_Production::getProductionDataDirectory() {
  return m_values.cachedDirectory(m_base, "sPRODUCTIONDATADIR", m_directory);
}

bool ZNPI_Production::registerMount(const char* name, const char* path) {
  if (name == nullptr || path == nullptr) return false;
  return m_base.setString((std::string("ProductionData\\Mounts\\") + name).c_str(), "sPATH", path) != 0;
}

bool ZNPI_Production::unregisterMount(const char* name) {
  return name != nullptr && m_base.deleteSection((std::string("ProductionData\\Mounts\\") + name).c_str()) != 0;
}
