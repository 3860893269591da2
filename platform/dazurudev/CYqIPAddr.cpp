#include "dazurudev/CYqIPAddr.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <utility>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/YqWin32Errors.h"
#include "zuzazer/FXUniqueFd.h"

namespace {

std::atomic<int> g_preferredFamily{kDzFamilyUnspecified};
std::atomic<bool> g_unixSocketsDisabled{false};
std::atomic<bool> g_fastLoopback{false};
std::atomic<int> g_maxSocketSetSize{0};

int SystemFamily(int storeFamily) {
  switch (storeFamily) {
    case kDzFamilyIPv4: return AF_INET;
    case kDzFamilyIPv6: return AF_INET6;
    default: return AF_UNSPEC;
  }
}

struct AddrInfoDeleter {
  void operator()(addrinfo* info) const { ::freeaddrinfo(info); }
};

struct IfAddrsDeleter {
  void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

}  // namespace

void CYqIPAddr::SetPreferredFamily(int storeFamily) {
  const bool known = storeFamily == kDzFamilyIPv4 || storeFamily == kDzFamilyIPv6;
  g_preferredFamily.store(known ? storeFamily : kDzFamilyUnspecified);
}

int CYqIPAddr::GetPreferredFamily() { return g_preferredFamily.load(); }

CYqError CYqIPAddr::LookupHost(const std::string& host, std::vector<std::string>& addresses) {
  addresses.clear();
  if (host.empty()) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter, "Empty host name");
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &raw);
  std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
  if (rc != 0) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotFound, "Cannot resolve [%s]: %s", host.c_str(),
                                   ::gai_strerror(rc));
  }
  const int preferred = SystemFamily(GetPreferredFamily());
  std::vector<std::pair<bool, std::string>> found;  // (not preferred, text): stable sort keeps resolver order
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    char text[NI_MAXHOST];
    if (::getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) {
      continue;
    }
    const bool notPreferred = preferred != AF_UNSPEC && entry->ai_family != preferred;
    const std::pair<bool, std::string> item(notPreferred, text);
    if (std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.second == item.second; }) ==
        found.end()) {
      found.push_back(item);
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& item : found) addresses.push_back(std::move(item.second));
  return CYqError::Success();
}

CYqError CYqIPAddr::GetLocalHostName(std::string& name) {
  char text[HOST_NAME_MAX + 1] = {};
  if (::gethostname(text, sizeof text - 1) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read the local host name");
  }
  name = text;
  if (name.empty()) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotFound, "The host name is empty");
  return CYqError::Success();
}

void CYqNetSettings::DisableUnixSockets(bool disabled) { g_unixSocketsDisabled.store(disabled); }
bool CYqNetSettings::AreUnixSocketsDisabled() { return g_unixSocketsDisabled.load(); }
void CYqNetSettings::SetFastLoopback(bool enabled) { g_fastLoopback.store(enabled); }
bool CYqNetSettings::IsFastLoopbackEnabled() { return g_fastLoopback.load(); }
void CYqNetSettings::SetMaxSocketSetSize(int size) { g_maxSocketSetSize.store(size > 0 ? size : 0); }
int CYqNetSettings::GetMaxSocketSetSize() { return g_maxSocketSetSize.load(); }

CYqError CYqNetSettings::ProbeTcpSocket() {
  yq::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) fd.reset(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open a TCP socket");
  return CYqError::Success();
}

CYqError CYqNetSettings::GetMacAddresses(std::vector<std::string>& macs) {
  macs.clear();
  ifaddrs* raw = nullptr;
  if (::getifaddrs(&raw) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot list the network interfaces");
  }
  std::unique_ptr<ifaddrs, IfAddrsDeleter> list(raw);
  std::vector<std::pair<int, std::string>> found;
  for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    bool allZero = true;
    for (int i = 0; i < 6; ++i) allZero = allZero && link->sll_addr[i] == 0;
    if (allZero) continue;
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", link->sll_addr[0], link->sll_addr[1],
                  link->sll_addr[2], link->sll_addr[3], link->sll_addr[4], link->sll_addr[5]);
    found.emplace_back(link->sll_ifindex, text);
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& item : found) macs.push_back(std::move(item.second));
  return CYqError::Success();
}
