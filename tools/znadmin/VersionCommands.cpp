// znadmin version: how the library reads a version string.

#include <iostream>
#include <string>

#include "Commands.h"
#include "zn/util/ZnStdVersion.h"

namespace zn::admin {
namespace {

int ShowVersion(const std::string& text) {
  ZnStdVersion version;
  if (!GetAllInfoFromVersionStr(text, version)) {
    std::cerr << "znadmin: [" << text << "] is not a version string\n";
    return kExitFailure;
  }
  std::cout << "release: " << version.release << "\n"
            << "servicePack: " << version.servicePack << "\n"
            << "servicePackLetter: " << version.servicePackLetter << "\n"
            << "updateNumber: " << version.updateNumber << "\n"
            << "text: " << FormatZnStdVersionString(version) << "\n";
  return kExitOk;
}

}  // namespace

void AddVersionCommands(CLI::App& app, std::vector<Handler>& handlers) {
  static std::string text;  // bound by the option, lives as long as the application
  CLI::App* version = app.add_subcommand("version", "Show the fields of a version string (\"7 SP24b\", \"11.32.5\")");
  version->add_option("string", text, "The version string")->required();
  handlers.push_back({version, [] { return ShowVersion(text); }});
}

}  // namespace zn::admin
