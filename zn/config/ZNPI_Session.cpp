#include "zn/config/ZNPI_Session.h"

#include "dazurudev/CYqIPAddr.h"

namespace {

unsigned long KeepWithin1To100(unsigned long value) {
  if (value == 0) return 1;
  return value > 100 ? 100 : value;
}

}  // namespace

unsigned long ZNPI_Session::getAttachTimeOut(bool refresh) {
  return m_session.cachedNumber(*this, "nATTACH_TIMEOUT", m_attachTimeout, refresh, 120);
}

unsigned long ZNPI_Session::setAttachTimeOut(unsigned long seconds) {
  return m_session.setNumber(*this, "nATTACH_TIMEOUT", seconds, m_attachTimeout);
}

unsigned long ZNPI_Session::getDisconnectTimeOut(bool refresh) {
  return m_session.cachedNumber(*this, "nDISCONNECT_TIMEOUT", m_disconnectTimeout, refresh, 120);
}

unsigned long ZNPI_Session::setDisconnectTimeOut(unsigned long seconds) {
  return m_session.setNumber(*this, "nDISCONNECT_TIMEOUT", seconds, m_disconnectTimeout);
}

unsigned long ZNPI_Session::getRetryCount(bool refresh) {
  if (m_retryCount != 0 && !refresh) return m_retryCount;
  unsigned long value = 0;
  m_retryCount = static_cast<uint32_t>(m_session.readNumber(*this, "nRetryCount", value) ? KeepWithin1To100(value) : 40);
  return m_retryCount;
}

unsigned long ZNPI_Session::SendMsgRetry_SetRetryCount(unsigned long count) {
  return m_session.setNumber(*this, "nRetryCount", count, m_retryCount);
}

unsigned long ZNPI_Session::getRetryInterval(bool refresh) {
  if (m_retryInterval != 0 && !refresh) return m_retryInterval;
  unsigned long value = 0;
  m_retryInterval =
      static_cast<uint32_t>(m_session.readNumber(*this, "nRetryInterval", value) ? KeepWithin1To100(value) : 30);
  return m_retryInterval;
}

unsigned long ZNPI_Session::SendMsgRetry_SetRetryInterval(unsigned long seconds) {
  return m_session.setNumber(*this, "nRetryInterval", seconds, m_retryInterval);
}

bool ZNPI_Session::IsSendMesssageRetryEnabled(bool refresh) {
  return m_session.cachedNumber(*this, "nEnableSendMessageRetry", m_retryEnabled, refresh, 0) != 0;
}

bool ZNPI_Session::SendMsgRetry_SetEnabledFlag(bool enabled) {
  if (setNumber("Session", "nEnableSendMessageRetry", enabled ? 1UL : 0UL) == 0) {
    m_retryEnabled = 0;
    m_session.recordFailure(*this);
    return false;
  }
  m_retryEnabled = enabled ? 1 : 0;
  return true;
}

unsigned long ZNPI_Session::port(Port which, const char* name, unsigned long fallback) {
  // Read once per object: a port of 0 is as final as any other.
  if (!m_portsRead[which]) {
    m_ports[which] = static_cast<uint32_t>(m_session.number(*this, name, fallback));
    m_portsRead[which] = true;
  }
  return m_ports[which];
}

unsigned long ZNPI_Session::getZNDPort() { return port(kZndPort, "nZNDPORT", 8400); }
unsigned long ZNPI_Session::getZNMLMPort() { return port(kZnmlmPort, "nZNMLMPORT", 0); }
unsigned long ZNPI_Session::getEMCPort() { return port(kEmcPort, "nEVMGRCPORT", 0); }
unsigned long ZNPI_Session::getEMSPort() { return port(kEmsPort, "nEMSPORT", 0); }
unsigned long ZNPI_Session::getJMPort() { return port(kJmPort, "nJMPORT", 0); }
unsigned long ZNPI_Session::getSMMLMPort() { return port(kSmmlmPort, "nSMMLMPORT", 0); }

int ZNPI_Session::GetPreferredIPFamily() {
  switch (m_session.number(*this, "nPreferredIPFamily", 1)) {
    case 0: return kDzFamilyUnspecified;
    case 1: return kDzFamilyIPv4;
    case 2: return kDzFamilyIPv6;
    default: return kDzFamilyUnspecified;
  }
}

unsigned long ZNPI_Session::getSessionBlacklistExpirationTimeout() {
  return m_session.number(*this, "nSessionBlacklistExpirationTimeout", 3600);
}

unsigned long ZNPI_Session::getSessionInterfacePairMapExpirationTimeout() {
  return m_session.number(*this, "nSessionInterfacePairMapExpirationTimeout", 3600);
}

unsigned long ZNPI_Session::getSessionBlacklistGraceAttempts() {
  return m_session.number(*this, "nSessionBlacklistGraceAttempts", 3);
}

unsigned long ZNPI_Session::getFdsetSize(const char* name) {
  return m_session.number(*this, (std::string(name != nullptr ? name : "default") + "_FDSETSZ").c_str(), 0);
}

bool ZNPI_Session::IsAntiChatterFlagOn() { return m_session.flag(*this, "nChatterFlag"); }
bool ZNPI_Session::IsPortCachingEnabled() { return m_session.flag(*this, "nEnablePortCaching"); }
bool ZNPI_Session::IsSessionBlacklistEnabled() { return m_session.flag(*this, "nEnableSessionBlacklist"); }
bool ZNPI_Session::IsSessionBlacklistLoggingEnabled() { return m_session.flag(*this, "nEnableSessionBlacklistLogging"); }
bool ZNPI_Session::IsSessionInterfaceOverrideEnabled() {
  return m_session.flag(*this, "nEnableSessionInterfaceOverride");
}
bool ZNPI_Session::getIsSessionLoggingDisabled() { return m_session.flag(*this, "nSessionLoggingDisabled"); }
bool ZNPI_Session::getIsSessionPoolDisabled() { return m_session.flag(*this, "nSessionPoolDisabled"); }

const char* ZNPI_Session::getFileXferDirectory() {
  return m_session.cachedDirectory(*this, "dFILEXFERDIR", m_fileXferDirectory);
}

unsigned long ZNPI_Session::getFileXferRSyncThresh() { return m_session.number(*this, "nFILEXFER_RSYNC_THRESH", 0); }

unsigned long ZNPI_Session::getFileXferSHAThresh() { return m_session.number(*this, "nFILEXFER_SHA_THRESH", 0); }

unsigned long ZNPI_Session::getHSAuthenticationExpiration(bool refresh) {
  return m_session.cachedNumber(*this, "nHSAuthenticationExpiration", m_authenticationExpiration, refresh, 0);
}
