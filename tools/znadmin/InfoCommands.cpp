// znadmin info: what the store and the machine say about this installation.

#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Admin.h"
#include "zn/config/ZNPI_Base.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/util/ZnStdVersion.h"
#include "zn/util/ZnOSInfo.h"
#include "znfocus/ZNPI_Focus.h"

namespace zn::admin {
namespace {

// Fields in the order they are shown; lists are joined with ", " in text.
using Field = std::pair<std::string, std::vector<std::string>>;

std::string PlatformRoles(unsigned long type) {
  static const std::pair<unsigned long, const char*> kRoles[] = {
      {kZnPlatformHubServer, "HubServe"}, {kZnPlatformMediaNode, "media node"}, {kZnPlatformClient, "client"},
      {kZnPlatformHubNetChild, "HubNet child"}, {kZnPlatformHubNetParent, "HubNet parent"}, {kZnPlatformSdk, "SDK"}};
  std::string roles;
  for (const auto& [bit, name] : kRoles) {
    if ((type & bit) != 0) roles += (roles.empty() ? "" : ", ") + std::string(name);
  }
  return roles.empty() ? "none" : roles;
}

std::vector<Field> Collect() {
  ZNPlatformInfo store(0, 0);
  std::vector<Field> fields;
  const char* focus = ZNPI_Focus::getFocus();
  fields.push_back({"product", {ZNPI_Focus::getProductName()}});
  fields.push_back({"instance", {focus != nullptr ? focus : ""}});

  std::string versionText;
  store.getProductVersion(versionText);
  ZnStdVersion version;
  const bool parsed = !versionText.empty() && GetAllInfoFromVersionStr(versionText, version);
  fields.push_back({"version", {versionText}});
  fields.push_back({"versionParsed", {parsed ? FormatZnStdVersionString(version) : ""}});
  fields.push_back({"servicePack", {parsed ? std::to_string(version.servicePack) : ""}});

  const unsigned long platform = store.getZNPlatformType();
  fields.push_back({"platformType", {std::to_string(platform)}});
  fields.push_back({"roles", {PlatformRoles(platform)}});
  // The updates of the machine's main role.
  const int updateType = (platform & kZnPlatformHubServer) != 0   ? 1000
                         : (platform & kZnPlatformMediaNode) != 0 ? 1002
                                                                  : 1001;
  const char* updates = store.getPatchList(updateType);
  fields.push_back({"updates", {updates != nullptr ? updates : ""}});

  std::vector<int> packages;
  store.GetListOfInstalledPackages(packages);
  Field packageField{"installedPackages", {}};
  for (const int id : packages) packageField.second.push_back(std::to_string(id));
  fields.push_back(packageField);

  std::map<std::string, std::string> featureValues;
  Field featureField{"features", {}};
  if (store.getRegValues("~Features", &featureValues)) {
    for (const auto& [name, value] : featureValues) {
      if (store.IsFeatureEnabled(name.c_str()) != 0) featureField.second.push_back(name);
    }
  }
  fields.push_back(featureField);

  std::string os, productType, processor;
  unsigned long processors = 0;
  ZN_GetOSInstalled(os);
  ZN_GetProductTypeAndProcessorType(productType, processor, processors);
  fields.push_back({"os", {os}});
  fields.push_back({"osProductType", {productType}});
  fields.push_back({"processor", {processor}});
  fields.push_back({"processors", {std::to_string(processors)}});
  fields.push_back({"scaleCompute", {store.isScaleCompute() ? (store.isProperScaleCompute() ? "yes (in a scale set)" : "yes")
                                                            : "no"}});
  return fields;
}

int Info(bool json) {
  RequireInstance();
  const std::vector<Field> fields = Collect();
  Json data = Json::object();
  for (const auto& [name, values] : fields) {
    const bool list = name == "installedPackages" || name == "features";
    data[name] = list ? Json(values) : Json(values.empty() ? std::string() : values.front());
  }
  return Emit(json, data, [&] {
    for (const auto& [name, values] : fields) {
      std::string joined;
      for (const std::string& value : values) joined += (joined.empty() ? "" : ", ") + value;
      std::printf("%-18s %s\n", (name + ":").c_str(), joined.c_str());
    }
  });
}

}  // namespace

void AddInfoCommands(CLI::App& app, std::vector<Handler>& handlers) {
  static bool json = false;
  CLI::App* info = app.add_subcommand("info", "Show the installation: product, instance, version, roles, OS");
  AddJsonFlag(info, json);
  handlers.push_back({info, [] { return Info(json); }});
}

}  // namespace zn::admin
