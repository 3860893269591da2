// ZNPlatformInfo: features, the scale-compute role, installed packages and
// the update records of the installed components.
//
// An update record is a key below "~Updates" (see getPatchList):
//   <record>                  one value per installed update, named after it
//   <record>\ServicePacks     one value per installed service pack, named
//                             "<anything>_SP<n>", holding the updates that
//                             belong to it, separated by ","
// and its update text, lines joined by "\n":
//   ServicePack:<n>:<updates of the service pack>
//   AdditionalUpdates:<installed updates not among them>
//   MissingUpdates:<updates of the service pack not installed>
// or, without a service pack, "AdditionalUpdates:<installed updates>" (empty
// when none is installed). Lists are joined by "," in name order.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "zn/config/internal/AgentTable.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

constexpr const char* kUpdates = "Updates";
constexpr const char* kClientSection = "iDepotAgent";
constexpr const char* kInstalledPackages = "InstalledPackages";
constexpr const char* kServicePackMark = "_SP";

struct PatchListRoot {
  int type;
  const char* name;
};

// Components: "~Updates/<name>".
constexpr PatchListRoot kComponents[] = {
    {1000, "HubServe"},
    {1001, "iDepotAgent"},
    {1002, "MediaNode"},
    {1003, "iDepotAgent/NAS"},
    {1007, "iDepotAgent/HotspotSnapshotAgent"},
};

template <std::size_t N>
const char* FindRoot(const PatchListRoot (&table)[N], int type) {
  for (const PatchListRoot& row : table) {
    if (row.type == type) return row.name;
  }
  return nullptr;
}

// The number after the first "_SP" of a value name; none without one.
std::optional<long> ServicePackOf(const std::string& name) {
  const std::size_t mark = name.find(kServicePackMark);
  if (mark == std::string::npos) return std::nullopt;
  return std::strtol(name.c_str() + mark + std::strlen(kServicePackMark), nullptr, 10);
}

void CopyOut(char* target, const std::string& text) {
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(kZnPatchTextSize - 1));
  std::memcpy(target, text.data(), length);
  target[length] = '\0';
}

// "a, b,,c" gives "a", "b", "c".
std::vector<std::string> SplitUpdates(const std::string& text) {
  std::vector<std::string> updates;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string item = FXString::Trim(std::string_view(text).substr(start, end - start), " \t");
    if (!item.empty()) updates.push_back(std::move(item));
    start = end + 1;
  }
  return updates;
}

std::string Join(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
  return joined;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (FXString::EqualsNoCase(candidate, name)) return true;
  }
  return false;
}

// The items of `names` that are not in `other` (names compare without case,
// as the store's do), joined by ",".
std::string JoinMissingFrom(const std::vector<std::string>& names, const std::vector<std::string>& other) {
  std::vector<std::string> missing;
  for (const std::string& name : names) {
    if (!Contains(other, name)) missing.push_back(name);
  }
  return Join(missing);
}

}  // namespace
}  // namespace zn::detail

// ---- Features and roles ----

int ZNPlatformInfo::IsFeatureEnabled(const char* feature) {
  if (feature == nullptr) return 0;
  unsigned long value = 0;
  return getNumber("Features", feature, &value) != 0 && value != 0 ? 1 : 0;
}

bool ZNPlatformInfo::isScaleCompute() {
  std::string id;
  return getString(nullptr, "sComputeID", &id) != 0 && !id.empty();
}

bool ZNPlatformInfo::isProperScaleCompute() {
  if (!isScaleCompute()) return false;
  std::string scaleSet;
  return getString("ZnScale", "sScaleSetID", &scaleSet) != 0 && !scaleSet.empty();
}

bool isScaleCompute() { return ZNPlatformInfo().isScaleCompute(); }

// ---- Installed packages ----

int ZNPlatformInfo::GetListOfInstalledPackages(std::vector<int>& out) {
  std::list<std::string> packages;
  if (!getSubKeys(zn::detail::kInstalledPackages, &packages)) return 0;
  for (const std::string& package : packages) {
    const std::string section = std::string(zn::detail::kInstalledPackages) + "/" + package;
    std::string state;
    int id = 0;
    if (getString(section.c_str(), "sInstallState", &state) != 0 && FXString::EqualsNoCase(state, "Installed") &&
        std::sscanf(package.c_str(), "%d", &id) == 1) {
      out.push_back(id);
    }
  }
  return 1;
}

bool ZNPlatformInfo::IsThisPackageInstalled(int id) {
  char section[64];
  std::snprintf(section, sizeof section, "InstalledPackages\\%d", id);
  std::string state;
  return getString(section, "sInstallState", &state) != 0 && state == "Installed";
}

// ---- Update records ----

const char* ZNPlatformInfo::getPatchList(int type) {
  using zn::detail::kUpdates;
  char key[1024];
  const char* component = type >= 1000 ? zn::detail::FindRoot(zn::detail::kComponents, type) : nullptr;
  // Agents: "~Updates/iDepotAgent/<the agent's section>".
  const zn::detail::AgentRow* agentRow =
      type > 0 && type < 1000 ? zn::detail::FindAgent(static_cast<unsigned int>(type)) : nullptr;
  const char* agent = agentRow != nullptr ? agentRow->section : nullptr;
  if (component != nullptr) {
    std::snprintf(key, sizeof key, "~%s/%s", kUpdates, component);
  } else if (agent != nullptr) {
    std::snprintf(key, sizeof key, "~%s/%s/%s", kUpdates, zn::detail::kClientSection, agent);
  } else {
    std::snprintf(key, sizeof key, "~%s", kUpdates);
  }
  m_updates.clear();
  GetPatchSPFromReg(key);
  return m_updates.c_str();
}

int ZNPlatformInfo::GetHighestSPAndItsPatches(char* key, char* sp, char* patches) {
  if (key == nullptr || sp == nullptr || patches == nullptr) return 0;
  std::map<std::string, std::string> values;
  if (!getRegValues(key, &values)) return 0;
  const std::pair<const std::string, std::string>* highest = nullptr;
  long highestNumber = 0;
  for (const auto& entry : values) {
    const std::optional<long> number = zn::detail::ServicePackOf(entry.first);
    if (number && (highest == nullptr || *number > highestNumber)) {
      highest = &entry;
      highestNumber = *number;
    }
  }
  if (highest == nullptr) return 0;
  zn::detail::CopyOut(sp, highest->first);
  zn::detail::CopyOut(patches, highest->second);
  return 1;
}

int ZNPlatformInfo::GetPatchSPFromReg(char* key) {
  m_servicePack.clear();
  m_updates.clear();
  if (key == nullptr) return 0;
  char servicePacks[1024];
  std::snprintf(servicePacks, sizeof servicePacks, "%s/ServicePacks", key);
  char sp[kZnPatchTextSize];
  char patches[kZnPatchTextSize];
  if (GetHighestSPAndItsPatches(servicePacks, sp, patches) == 0) return GetPatchesOnly(key);
  m_servicePack = std::to_string(zn::detail::ServicePackOf(sp).value_or(0));
  m_updates = "ServicePack:" + m_servicePack + ":" + zn::detail::Join(zn::detail::SplitUpdates(patches));
  return UpdatePatchList(key, patches);
}

int ZNPlatformInfo::GetPatchesOnly(char* key) {
  m_updates.clear();
  std::map<std::string, std::string> values;
  if (key == nullptr || !getRegValues(key, &values)) return 0;
  std::vector<std::string> installed;
  for (const auto& entry : values) installed.push_back(entry.first);
  if (!installed.empty()) m_updates = "AdditionalUpdates:" + zn::detail::Join(installed);
  return 1;
}

int ZNPlatformInfo::UpdatePatchList(char* key, char* patches) {
  if (key == nullptr || patches == nullptr) return 0;
  std::map<std::string, std::string> values;
  // A record with service packs but no update of its own has none installed.
  if (!getRegValues(key, &values) && getRegError() != -2) return 0;
  std::vector<std::string> installed;
  for (const auto& entry : values) installed.push_back(entry.first);
  const std::vector<std::string> expected = zn::detail::SplitUpdates(patches);
  m_updates += "\nAdditionalUpdates:" + zn::detail::JoinMissingFrom(installed, expected);
  m_updates += "\nMissingUpdates:" + zn::detail::JoinMissingFrom(expected, installed);
  return 1;
}
