#include "zn/util/ZnOSInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "zuzazer/FXString.h"

namespace zn {
namespace {

constexpr const char* kOsReleaseFiles[] = {"/etc/os-release", "/usr/lib/os-release"};
constexpr const char* kDisplayManagerUnit = "/etc/systemd/system/display-manager.service";

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
    return std::string(value.substr(1, value.size() - 2));
  }
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
  std::string text;
  const std::string_view inner = value.substr(1, value.size() - 2);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '\\' && i + 1 < inner.size()) ++i;
    text.push_back(inner[i]);
  }
  return text;
}

std::string OsRelease(std::string_view name) {
  for (const char* file : kOsReleaseFiles) {
    std::ifstream text(file);
    if (text) return OsReleaseValue(text, name);
  }
  return std::string();
}

struct utsname Uname() {
  struct utsname names {};
  ::uname(&names);
  return names;
}

std::string CpuModelName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) return FXString::Trim(std::string_view(line).substr(colon + 1), " \t");
  }
  return std::string();
}

}  // namespace

std::string OsReleaseValue(std::istream& text, std::string_view name) {
  std::string value;
  std::string line;
  while (std::getline(text, line)) {
    const std::string trimmed = FXString::Trim(line, " \t\r");
    const std::size_t equals = trimmed.find('=');
    if (trimmed.empty() || trimmed.front() == '#' || equals == std::string::npos) continue;
    if (std::string_view(trimmed).substr(0, equals) == name) value = Unquote(std::string_view(trimmed).substr(equals + 1));
  }
  return value;
}

}  // namespace zn

bool ZN_GetOSInstalled(std::string& os) {
  const struct utsname names = zn::Uname();
  std::string name;
  if (!ZN_GetOSInfoUsingRegistry(name)) name = names.sysname;
  os = name + " (" + names.release + " " + names.machine + ")";
  return true;
}

bool ZN_GetProductTypeAndProcessorType(std::string& productType, std::string& processorType,
                                       unsigned long& processors) {
  productType = zn::OsRelease("VARIANT");
  if (productType.empty()) {
    std::error_code ignored;
    const bool desktop =
        std::filesystem::exists(std::filesystem::symlink_status(zn::kDisplayManagerUnit, ignored));
    productType = desktop ? "Workstation" : "Server";
  }
  processorType = zn::CpuModelName();
  if (processorType.empty()) processorType = zn::Uname().machine;
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  processors = online > 0 ? static_cast<unsigned long>(online) : 1UL;
  return true;
}

bool ZN_GetOSInfoUsingRegistry(std::string& os) {
  std::string name = zn::OsRelease("PRETTY_NAME");
  if (name.empty()) name = zn::OsRelease("NAME");
  if (name.empty()) return false;
  os = name;
  return true;
}

bool ZN_GetOSHotFixInstalled(std::string& hotfixes) {
  hotfixes.clear();
  return true;
}

bool ZN_GetOSHotFixAndSeparateKBInstalled(std::string& hotfixes, std::string& separateKBs) {
  hotfixes.clear();
  separateKBs.clear();
  return true;
}

bool ZN_GetHotFixUsingWmi(std::string& hotfixes) {
  hotfixes.clear();
  return true;
}
