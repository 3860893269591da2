// The session layer's settings ("Session"), most of them cached: a getter
// with `refresh` false returns its cached value once it has one.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/config/ZNPI_Component.h"
#include "zn/config/ZNPlatformInfo.h"

class ZN_EXPORT ZNPI_Session : public ZNPlatformInfo {
 public:
  ZNPI_Session() = default;
  explicit ZNPI_Session(EvDebug* log) : ZNPlatformInfo(log) {}
  ZNPI_Session(int consoleEcho, int logEcho) : ZNPlatformInfo(consoleEcho, logEcho) {}

  unsigned long getAttachTimeOut(bool refresh = false);
  unsigned long setAttachTimeOut(unsigned long seconds);
  unsigned long getDisconnectTimeOut(bool refresh = false);
  unsigned long setDisconnectTimeOut(unsigned long seconds);
  // 40 by default; a stored 0 becomes 1, above 100 becomes 100.
  unsigned long getRetryCount(bool refresh = false);
  unsigned long SendMsgRetry_SetRetryCount(unsigned long count);
  // 30 by default; kept within 1 to 100 like the count.
  unsigned long getRetryInterval(bool refresh = false);
  unsigned long SendMsgRetry_SetRetryInterval(unsigned long seconds);
  bool IsSendMesssageRetryEnabled(bool refresh = false);
  bool SendMsgRetry_SetEnabledFlag(bool enabled);

  // Ports, read once per object; the daemon's defaults to 8400.
  unsigned long getZNDPort();
  unsigned long getZNMLMPort();
  unsigned long getEMCPort();
  unsigned long getEMSPort();
  unsigned long getJMPort();
  unsigned long getSMMLMPort();

  // The address family: 0 unspecified, 2 IPv4 (the default), 23 IPv6.
  int GetPreferredIPFamily();
  unsigned long getSessionBlacklistExpirationTimeout();
  unsigned long getSessionInterfacePairMapExpirationTimeout();
  unsigned long getSessionBlacklistGraceAttempts();
  // "<name>_FDSETSZ", 0 when unreadable; without a name "default".
  unsigned long getFdsetSize(const char* name);
  unsigned long getFdsetSize() { return getFdsetSize("default"); }

  bool IsAntiChatterFlagOn();
  bool IsPortCachingEnabled();
  bool IsSessionBlacklistEnabled();
  bool IsSessionBlacklistLoggingEnabled();
  bool IsSessionInterfaceOverrideEnabled();
  bool getIsSessionLoggingDisabled();
  bool getIsSessionPoolDisabled();

  const char* getFileXferDirectory();
  unsigned long getFileXferRSyncThresh();
  unsigned long getFileXferSHAThresh();
  unsigned long getHSAuthenticationExpiration(bool refresh = false);

  unsigned long getLastError() const { return m_session.lastError(); }
  std::string getLastErrorMsg() const { return m_session.lastErrorMsg(); }

 private:
  enum Port { kZndPort, kZnmlmPort, kEmcPort, kEmsPort, kJmPort, kSmmlmPort, kPortCount };
  unsigned long port(Port which, const char* name, unsigned long fallback);

  zn::detail::ComponentValues m_session{"Session"};
  uint32_t m_attachTimeout = 0, m_disconnectTimeout = 0, m_retryCount = 0, m_retryInterval = 0,
           m_retryEnabled = 0, m_authenticationExpiration = 0;
  uint32_t m_ports[kPortCount] = {};
  bool m_portsRead[kPortCount] = {};
  std::string m_fileXferDirectory;
};
