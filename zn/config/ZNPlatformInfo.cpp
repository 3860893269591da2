// ZNPlatformInfo: construction, focus, key expansion, error reporting and the
// well-known values.

#include "zn/config/ZNPlatformInfo.h"

#include <cassert>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

int ZNPlatformInfo::Reg_Additional_Flags = 0;

namespace {

constexpr const char* kInstancesRoot = "SOFTWARE/Tessaly Systems/Orvane";
constexpr const char* kUnknownFocusCrashText =
    "ZNPI_Focus::setFocus() is not set. Cannot access registry at this point. Causing a debugger break now";
constexpr unsigned long kPlatformTypeValidBits = 0x1BF;

std::string TextOr(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

}  // namespace

ZNPlatformInfo::ZNPlatformInfo()
    : m_productName(TextOr(ZNPI_Focus::getProductName())), m_focus(TextOr(ZNPI_Focus::getFocus())) {}

ZNPlatformInfo::ZNPlatformInfo(int consoleEcho, int logEcho) : ZNPlatformInfo() {
  m_consoleEcho = consoleEcho;
  m_logEcho = logEcho;
}

ZNPlatformInfo::ZNPlatformInfo(EvDebug* log) : ZNPlatformInfo() { m_log = log; }

ZNPlatformInfo::ZNPlatformInfo(const std::string& instance) : ZNPlatformInfo() {
  m_focus = instance;
  m_expanded.valid = false;
}

ZNPlatformInfo::ZNPlatformInfo(const ZNPlatformInfo& other) = default;

ZNPlatformInfo& ZNPlatformInfo::operator=(const ZNPlatformInfo& other) = default;

ZNPlatformInfo::~ZNPlatformInfo() = default;

int ZNPlatformInfo::setFocus(const char* instance) {
  if (instance == nullptr || instance[0] == '\0') return 0;
  m_focus = instance;
  m_expanded.valid = false;
  return 1;
}

void ZNPlatformInfo::setToDefaultFocus() {
  m_focus = TextOr(ZNPI_Focus::getFocus());
  m_expanded.valid = false;
}

const char* ZNPlatformInfo::getProductName() const { return ZNPI_Focus::getProductName(); }

void ZNPlatformInfo::logError(const char* context, const std::string& message) {
  if (message.empty()) return;
  if (m_logEcho != 0) EvDebug().Error(context, "%s", message.c_str());
  if (m_consoleEcho != 0) {
    std::printf(message.back() == '\n' ? "%s(): %s" : "%s(): %s\n", context, message.c_str());
    std::fflush(stdout);
  }
  m_lastErrorMsg = message;
}

bool ZNPlatformInfo::fail(const char* context, const std::string& message) {
  logError(context, message);
  m_regError = -1;
  return false;
}

ZNPlatformInfo::SectionKeyText::SectionKeyText(const char* section) : m_text(m_inline) {
  if (section == nullptr) {
    m_inline[0] = '~';
    m_inline[1] = '\0';
    return;
  }
  if (section[0] == '~') {
    m_text = section;
    return;
  }
  const std::size_t length = std::strlen(section);
  char* out = m_inline;
  if (length + 2 > sizeof m_inline) {
    m_long.resize(length + 1);
    out = m_long.data();
    m_text = out;
  }
  out[0] = '~';
  std::memcpy(out + 1, section, length + 1);
}

std::string ZNPlatformInfo::getSectionName(const char* parent, const char* child) {
  const std::string base = TextOr(parent);
  return child != nullptr ? base + "\\" + child : base;
}

std::string ZNPlatformInfo::expandKeyName(const char* key) {
  const std::string* path = expandedKey(key);
  return path != nullptr ? *path : std::string();
}

const std::string* ZNPlatformInfo::expandedKey(const char* key) {
  m_regError = 0;
  if (key == nullptr || key[0] == '\0') {
    m_regError = -1;
    return nullptr;
  }
  const char* remoteCell = ZNPI_Focus::getRemoteHubCellFocus();
  const bool productHasInstances = ZNPI_Focus::getProductType() != TESSALY_PRODUCT_TYPE_NO_INSTANCE;
  ExpandedKey& last = m_expanded;
  if (last.valid && last.remoteCell == remoteCell && last.productHasInstances == productHasInstances &&
      last.key == key) {
    return &last.path;
  }
  // The object's own product and focus stand in for the process's.
  zn::InstanceScope scope;
  scope.product = m_productName;
  scope.focus = m_focus;
  scope.remoteCell = remoteCell != nullptr ? remoteCell : "";
  scope.productHasInstances = productHasInstances;
  last.valid = false;
  last.valueKeyValid = false;
  zn::ExpandInstanceKey(key, scope, last.path);
  if (last.path.empty()) {
    logError("ZNPlatformInfo::expandKeyName",
             std::string("Can't resolve registry key [") + key + "]: current focus is unknown");
    ZNPI_Focus::doCrashThisProcess(true, kUnknownFocusCrashText);
    m_regError = -1;
    return nullptr;
  }
  last.key.assign(key);
  last.remoteCell = remoteCell;
  last.productHasInstances = productHasInstances;
  last.valid = true;
  return &last.path;
}

const zn::ConfigStore::ValueKey* ZNPlatformInfo::expandedValueKey(const char* key, const char* name) {
  const std::string* path = expandedKey(key);
  if (path == nullptr) return nullptr;
  ExpandedKey& last = m_expanded;
  // The path was built again whenever it may have changed, and that
  // dropped the value key: only the name is left to compare.
  if (!last.valueKeyValid || last.valueKey.name() != name) {
    last.valueKey.assign(*path, name);
    last.valueKeyValid = true;
  }
  assert(last.valueKey.path() == *path);
  return &last.valueKey;
}

// ---- The instance ----

int ZNPlatformInfo::createPlatformInfo() { return createRegKey(m_productName.c_str()) ? 1 : 0; }

int ZNPlatformInfo::deletePlatformInfo() {
  return delRegKey(m_productName.c_str()) || m_regError == -2 ? 1 : 0;
}

int ZNPlatformInfo::GetAllInInstances(std::vector<std::string>& out) {
  std::list<std::string> names;
  if (!getRegSubKeysFromAbsPath(kInstancesRoot, &names)) return 0;
  bool found = false;
  for (const std::string& name : names) {
    if (name.compare(0, 8, "Instance") == 0) {
      out.push_back(name);
      found = true;
    }
  }
  return found ? 1 : 0;
}

// ---- Well-known values ----

unsigned long ZNPlatformInfo::getZNPlatformType() {
  unsigned long type = 0;
  if (getNumber("Base", "nPLATTYPE", &type) == 0) return 0;
  if ((type & 1u) != 0) type |= 8u;
  if ((type & ~kPlatformTypeValidBits) != 0) {
    logError("getZNPlatformType", "Invalid platform type.");
    return 0;
  }
  return type;
}

int ZNPlatformInfo::GetLanguageID() {
  int language = 0;
  return getNumber("Base", "nLanguageID", &language) != 0 ? language : -1;
}

int ZNPlatformInfo::getAppDebugLevel(const char* app) {
  int level = 0;
  return getNumber("EventManager", zn::LogSettings::AppDebugLevelName(app).c_str(), &level) != 0 && level != 0
             ? level
             : -1;
}

void ZNPlatformInfo::getProductVersion(std::string& out) {
  std::string version;
  if (getString(nullptr, "sProductVersion", &version) != 0) out = version;
}

std::string ZNPlatformInfo::getComputeID() {
  std::string id;
  return getString(nullptr, "sComputeID", &id) != 0 ? id : std::string();
}

const char* ZNPlatformInfo::getPhysicalMachine() {
  if (m_physicalMachine.empty()) {
    const unsigned long type = getZNPlatformType();
    std::string name;
    if ((type & 1u) != 0) {
      getString("HubServe", "sHSCLIENTNAME", &name);
    } else if ((type & 0x10u) != 0) {
      getString("HubNet", "sPNETNAME", &name);
    } else {
      getString(nullptr, "sPhysicalNodeName", &name);
    }
    m_physicalMachine = name;
  }
  return m_physicalMachine.c_str();
}
