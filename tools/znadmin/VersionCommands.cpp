// znadmin version: how the library reads a version string.

#include <iostream>
#include <string>

#include "Admin.h"
#include "zn/util/ZnStdVersion.h"

namespace zn::admin {
namespace {

int ShowVersion(const std::string& text, bool json) {
  ZnStdVersion version;
  if (!GetAllInfoFromVersionStr(text, version)) return Fail("[" + text + "] is not a version string", kExitUsage);
  const Json data = {{"release", version.release},
                     {"servicePack", version.servicePack},
                     {"servicePackLetter", version.servicePackLetter},
                     {"updateNumber", version.updateNumber},
                     {"text", FormatZnStdVersionString(version)}};
  return Emit(json, data, [&] {
    for (const auto& [name, value] : data.items()) {
      std::cout << name << ": " << (value.is_string() ? value.get<std::string>() : value.dump()) << "\n";
    }
  });
}

}  // namespace

void AddVersionCommands(CLI::App& app, std::vector<Handler>& handlers) {
  struct Arguments {
    std::string text;
    bool json = false;
  };
  static Arguments a;  // bound by the options, lives as long as the application
  CLI::App* version = app.add_subcommand("version", "Show the fields of a version string (\"7 SP24b\", \"11.32.5\")");
  version->add_option("string", a.text, "The version string")->required();
  AddJsonFlag(version, a.json);
  handlers.push_back({version, [] { return ShowVersion(a.text, a.json); }});
}

}  // namespace zn::admin
