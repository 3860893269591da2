#include "zn/log/internal/EvDebugIdentity.h"

#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstring>
#include <vector>

#include "dazurudev/CYqIPAddr.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXPath.h"

namespace zn::detail {
namespace {

void CopyText(char* target, std::size_t size, const std::string& text) {
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(target, text.data(), length);
  target[length] = '\0';
}

// Splits at "." outside double quotes; a backslash keeps the next character.
std::vector<std::string> SplitVersion(const std::string& text) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      parts.back() += text[++i];
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == '.' && !quoted) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

int ServicePackFromVersion(const std::string& version) {
  const std::vector<std::string> parts = SplitVersion(version);
  if (parts.size() != 3) return 0;
  int n = 0;
  const std::string& second = parts[1];
  std::from_chars(second.data(), second.data() + second.size(), n);
  if (n >= 1000) return n / 100;
  if (n >= 101) return n / 10;
  return n;
}

std::string HostAddressText(const std::string& host) {
  std::vector<std::string> addresses;
  if (CYqIPAddr::LookupHost(host, addresses).IsError()) return "Not found";
  if (addresses.empty()) return "None";
  return addresses.front();
}

bool GatherProcessIdentity(const std::string& moduleName, int& fdsetSize) {
  fdsetSize = 0;
  CYqIPAddr::SetPreferredFamily(LogSettings::PreferredIPFamily());
  if (LogSettings::Number(LogSettings::kSession, "nDisableUnixSock").value_or(0) != 0) {
    CYqNetSettings::DisableUnixSockets(true);
  }
  // Networking needs no start-up here; opening one socket and resolving
  // "localhost" still tells early when the network stack is unusable.
  CYqNetSettings::ProbeTcpSocket();
  std::vector<std::string> addresses;
  CYqIPAddr::LookupHost("localhost", addresses);

  const std::string client =
      (LogSettings::PlatformType() & 1u) != 0 ? LogSettings::HubServerClientName() : LogSettings::PhysicalMachine();
  if (client.empty()) return false;
  CopyText(EvDebug::c_clientName, sizeof EvDebug::c_clientName, client);

  bool resolved = false;
  if (ZNPI_Focus::getFocus() != nullptr) {
    const std::string configured = LogSettings::ClientHostName(client);
    if (!configured.empty() && CYqIPAddr::LookupHost(configured, addresses).IsSuccess()) {
      CopyText(EvDebug::c_hostName, sizeof EvDebug::c_hostName, configured);
      EvDebug::c_hostIP = !addresses.empty() && !addresses.front().empty() ? addresses.front() : configured;
      resolved = true;
    }
  }
  if (!resolved) {
    std::string local;
    if (CYqIPAddr::GetLocalHostName(local).IsSuccess()) {
      CopyText(EvDebug::c_hostName, sizeof EvDebug::c_hostName, local);
      const bool found = CYqIPAddr::LookupHost(local, addresses).IsSuccess() && !addresses.empty();
      EvDebug::c_hostIP = found ? addresses.front() : local;
    } else {
      CopyText(EvDebug::c_hostName, sizeof EvDebug::c_hostName, "NO CLIENT");
    }
  }

  std::vector<std::string> macs;
  if (CYqNetSettings::GetMacAddresses(macs).IsSuccess() && !macs.empty()) EvDebug::c_NicMac = macs.front();

  int size = LogSettings::FdsetSize(moduleName);
  if (size == 0) size = LogSettings::FdsetSize("default");
  if (size != 0) {
    CYqNetSettings::SetMaxSocketSetSize(size);
    fdsetSize = size;
  }
  if (LogSettings::Number(LogSettings::kSession, "nEnableFastLoopBack").value_or(0) != 0) {
    CYqNetSettings::SetFastLoopback(true);
  }
  if (const auto version = LogSettings::Text(LogSettings::kInstanceRoot, "sProductVersion")) {
    EvDebug::c_ServicePackVer = ServicePackFromVersion(*version);
  }
  return true;
}

}  // namespace zn::detail
