// The component settings the log needs, handed to it when the library
// loads (the log sits below this module and cannot ask for them itself).
// Every reader is quiet: the log never writes store errors into itself.

#include "zn/config/ZNPI_Base.h"
#include "zn/config/ZNPI_Session.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/LogSettings.h"

namespace {

std::string TextOf(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

zn::LogSettingHooks Readers() {
  zn::LogSettingHooks hooks;
  hooks.platformType = [] { return ZNPlatformInfo(0, 0).getZNPlatformType(); };
  hooks.preferredIPFamily = [] { return ZNPI_Session(0, 0).GetPreferredIPFamily(); };
  hooks.fdsetSize = [](const std::string& name) {
    return static_cast<int>(ZNPI_Session(0, 0).getFdsetSize(name.c_str()));
  };
  hooks.logFilesDirectory = [] {
    ZNPI_EventManager eventManager(0, 0);  // owns the text it returns
    return TextOf(eventManager.getLogFilesDirectory());
  };
  hooks.homeDirectory = [] {
    ZNPI_Base base(0, 0);
    return TextOf(base.getHomeDirectory());
  };
  hooks.tempDirectory = [] {
    ZNPI_Base base(0, 0);
    return TextOf(base.getOrvaneTempDirectory());
  };
  hooks.computeId = [] { return ZNPlatformInfo(0, 0).getComputeID(); };
  hooks.physicalMachine = [] {
    ZNPlatformInfo store(0, 0);
    return TextOf(store.getPhysicalMachine());
  };
  hooks.clientHostName = [](const std::string& client) {
    std::string host;
    ZNPlatformInfo(0, 0).getClientHostName(client.c_str(), host);
    return host;
  };
  return hooks;
}

// Runs while the library loads, before any caller can open a log.
[[maybe_unused]] const bool kInstalled = (zn::LogSettings::InstallHooks(Readers()), true);

}  // namespace
