#include "zn/config/ZNPI_Base.h"

#include <cstring>

#include "zn/log/EvDebug.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/CYqLibrary.h"

// ---- ZNPI_EventManager ----

unsigned long ZNPI_EventManager::getDebugFlag() { return m_eventManager.nonZero(*this, "nDEBUG", 0); }

unsigned long ZNPI_EventManager::getMaxLogFilesCount() {
  return m_eventManager.inRange(*this, "nMaxLogFileCount", 2, 10, 1);
}

unsigned long ZNPI_EventManager::getMaxLogFilesSize() {
  return m_eventManager.inRange(*this, "nMaxLogFileSize", 5, 50, 5);
}

unsigned long ZNPI_EventManager::getInactivitySocketTimeout() {
  return m_eventManager.number(*this, "nSocketInactivityTimeout", 900);
}

unsigned long ZNPI_EventManager::getSocketTimeout() { return m_eventManager.number(*this, "nEventSocketTimeout", 0); }

const char* ZNPI_EventManager::getLogFilesDirectory() {
  return m_eventManager.cachedDirectory(*this, "dEVLOGDIR", m_logFilesDirectory);
}

bool ZNPI_EventManager::getRedirectEventsToLog(int& value) {
  unsigned long number = 0;
  if (!m_eventManager.readNumber(*this, "bRedirectEventsToLog", number)) return false;
  value = static_cast<int>(number);
  return true;
}

bool ZNPI_EventManager::getCreateAlertsLog() {
  unsigned long ignored = 0;
  return m_eventManager.readNumber(*this, "CreateAlertsLog", ignored);
}

unsigned long ZNPI_EventManager::setSocketTimeout(unsigned long seconds) {
  return m_eventManager.setNumber(*this, "nEventSocketTimeout", seconds);
}

unsigned long ZNPI_EventManager::setInactivitySocketTimeout(unsigned long seconds) {
  return m_eventManager.setNumber(*this, "nSocketInactivityTimeout", seconds);
}

bool ZNPI_EventManager::setRedirectEventsToLog(int value) {
  if (setNumber("EventManager", "bRedirectEventsToLog", static_cast<unsigned long>(value)) != 0) return true;
  m_eventManager.recordFailure(*this);
  return false;
}

// ---- ZNPI_Base ----

const char* ZNPI_Base::getOrvaneDirectory() { return m_base.cachedDirectory(*this, "dORVANEHOME", m_orvaneDirectory); }

bool ZNPI_Base::getOrvaneDirectory(char* buf, int size) {
  const char* directory = getOrvaneDirectory();
  if (directory == nullptr || buf == nullptr || size <= 0) return false;
  const std::size_t length = std::strlen(directory);
  if (length + 1 > static_cast<std::size_t>(size)) return false;
  std::memcpy(buf, directory, length + 1);
  return true;
}

const char* ZNPI_Base::getHomeDirectory() { return m_base.cachedDirectory(*this, "dBASEHOME", m_homeDirectory); }

const char* ZNPI_Base::getJobControlDirectory() {
  return m_base.cachedDirectory(*this, "dJOBCONTROLDIR", m_jobControlDirectory);
}

const char* ZNPI_Base::getOrvaneTempDirectory() {
  const char* name = ZNPI_Focus::getProductType() == TESSALY_PRODUCT_TYPE_HUBNET ? "dTEMP" : "dORVANETEMPDIR";
  return m_base.cachedDirectory(*this, name, m_tempDirectory);
}

const char* ZNPI_Base::getOrvaneDBPath() { return m_install.cachedText(*this, "Hubserve_DB_Path", m_dbPath); }

const char* ZNPI_Base::getPassPhraseDirectory() {
  return m_base.cachedDirectory(*this, "dPASSPHRASEDIR", m_passPhraseDirectory);
}

const char* ZNPI_Base::getVersion() { return m_base.cachedText(*this, "sVERSION", m_version); }

int ZNPI_Base::getVersionNumber() {
  const char* version = getVersion();
  if (version == nullptr) return -1;
  std::string digits;
  for (const char* p = version; *p != '\0' && *p != '('; ++p) {
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  }
  if (digits.empty()) return -1;
  // Within the int range the concatenation is the number; longer ones clamp.
  long long number = 0;
  for (const char digit : digits) {
    number = number * 10 + (digit - '0');
    if (number > 0x7FFFFFFF) return 0x7FFFFFFF;
  }
  return static_cast<int>(number);
}

unsigned long ZNPI_Base::getArchiveTimeoutMinutes() { return m_base.number(*this, "nArchiveTimeoutMinutes", 200); }

unsigned long ZNPI_Base::setArchiveTimeoutMinutes(unsigned long minutes) {
  return m_base.setNumber(*this, "nArchiveTimeoutMinutes", minutes);
}

unsigned long ZNPI_Base::getMaxCountSessionPoolToAppMan() {
  return m_base.number(*this, "nMaxCountSessionPoolToAppMan", 0);
}

unsigned long ZNPI_Base::getMaxCountSessionPoolToJM() { return m_base.number(*this, "nMaxCountSessionPoolToJM", 0); }

unsigned long ZNPI_Base::getPlatformType() {
  if (m_platformType == 0) m_platformType = static_cast<uint32_t>(getZNPlatformType());
  return m_platformType;
}

bool ZNPI_Base::isPlatformType(unsigned long mask) {
  const unsigned long type = getPlatformType();
  return type != 0 && (type & mask) == mask;
}

// ---- ZNPI_Library ----

std::string ZNPI_Library::getLibraryName(const char* role) {
  return m_library.text(*this, (std::string("sLN") + (role != nullptr ? role : "")).c_str());
}

void* ZNPI_Library::getEntryPoint(const char* role, const char* entryValue) {
  const std::string library = getLibraryName(role);
  const std::string entry = m_library.text(*this, entryValue != nullptr ? entryValue : "");
  if (entry.empty()) {
    EvDebug().Error("ZNPI_Library::getEntryPoint", "%s%s", "Failed to get entry name for ",
                    entryValue != nullptr ? entryValue : "");
    return nullptr;
  }
  auto loaded = std::make_shared<CYqLibrary>();
  void* address = nullptr;
  if (library.empty() || loaded->Load(library).IsError() || loaded->GetAddress(entry, address).IsError()) {
    EvDebug().Error("ZNPI_Library::getEntryPoint", "%s%s%s%s", "Failed to get proc address of ", entry.c_str(),
                    " in library ", library.c_str());
    return nullptr;
  }
  m_loaded = std::move(loaded);
  return address;
}
