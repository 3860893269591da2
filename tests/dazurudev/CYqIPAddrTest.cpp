#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dazurudev/CYqIPAddr.h"

namespace {

bool IsIPv4(const std::string& text) {
  in_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsIPv6(const std::string& text) {
  in6_addr address{};
  return ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

// Every IPv4 text before every IPv6 text, or the other way round.
bool FamilyFirst(const std::vector<std::string>& addresses, bool v4First) {
  bool seenOther = false;
  for (const auto& address : addresses) {
    const bool preferred = v4First ? IsIPv4(address) : IsIPv6(address);
    if (!preferred) seenOther = true;
    if (preferred && seenOther) return false;
  }
  return true;
}

class CYqIPAddrTest : public ::testing::Test {
 protected:
  void TearDown() override { CYqIPAddr::SetPreferredFamily(kDzFamilyUnspecified); }
};

TEST_F(CYqIPAddrTest, PreferredFamilyKeepsOnlyKnownCodes) {
  CYqIPAddr::SetPreferredFamily(kDzFamilyIPv6);
  EXPECT_EQ(CYqIPAddr::GetPreferredFamily(), 23);
  CYqIPAddr::SetPreferredFamily(AF_INET6);  // the system's number is not a store code
  EXPECT_EQ(CYqIPAddr::GetPreferredFamily(), kDzFamilyUnspecified);
}

TEST_F(CYqIPAddrTest, LocalhostResolvesToLoopbackPreferredFamilyFirst) {
  std::vector<std::string> addresses;
  ASSERT_TRUE(CYqIPAddr::LookupHost("localhost", addresses).IsSuccess());
  ASSERT_FALSE(addresses.empty());
  for (const auto& address : addresses) {
    EXPECT_TRUE(address.rfind("127.", 0) == 0 || address == "::1") << address;
  }
  const std::set<std::string> unordered(addresses.begin(), addresses.end());
  EXPECT_EQ(unordered.size(), addresses.size()) << "duplicates";
  for (const bool v4 : {true, false}) {
    CYqIPAddr::SetPreferredFamily(v4 ? kDzFamilyIPv4 : kDzFamilyIPv6);
    std::vector<std::string> preferred;
    ASSERT_TRUE(CYqIPAddr::LookupHost("localhost", preferred).IsSuccess());
    EXPECT_EQ(std::set<std::string>(preferred.begin(), preferred.end()), unordered);
    EXPECT_TRUE(FamilyFirst(preferred, v4)) << (v4 ? "IPv4" : "IPv6") << " first";
  }

  // Numeric hosts come back as they are; stale results are cleared.
  CYqIPAddr::SetPreferredFamily(kDzFamilyIPv6);
  ASSERT_TRUE(CYqIPAddr::LookupHost("127.0.0.1", addresses).IsSuccess());
  EXPECT_EQ(addresses, (std::vector<std::string>{"127.0.0.1"}));
  ASSERT_TRUE(CYqIPAddr::LookupHost("::1", addresses).IsSuccess());
  EXPECT_EQ(addresses, (std::vector<std::string>{"::1"}));
}

TEST_F(CYqIPAddrTest, EmptyHostIsAnErrorAndTheLocalNameIsTheSystemName) {
  std::vector<std::string> addresses{"stale"};
  const CYqError error = CYqIPAddr::LookupHost("", addresses);
  EXPECT_TRUE(error.Is(87)) << error.AsString();
  EXPECT_TRUE(addresses.empty());

  std::string name;
  ASSERT_TRUE(CYqIPAddr::GetLocalHostName(name).IsSuccess());
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(name, expected);
}

// "00:1a:2b:3c:4d:5e": six pairs of lower-case hexadecimal digits.
bool IsMacText(const std::string& text) {
  bool ok = text.size() == 17;
  for (std::size_t i = 0; ok && i < text.size(); ++i) {
    ok = i % 3 == 2 ? text[i] == ':' : std::string("0123456789abcdef").find(text[i]) != std::string::npos;
  }
  return ok;
}

// The non-loopback, non-zero 6-byte addresses the kernel shows, by index.
std::vector<std::string> MacsFromSysfs() {
  namespace fs = std::filesystem;
  std::vector<std::pair<int, std::string>> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/class/net", error)) {
    std::ifstream addressFile(entry.path() / "address"), indexFile(entry.path() / "ifindex"),
        flagsFile(entry.path() / "flags");
    std::string address, flags;
    int index = 0;
    if (!(addressFile >> address) || !(indexFile >> index) || !(flagsFile >> flags)) continue;
    if ((std::stoul(flags, nullptr, 16) & IFF_LOOPBACK) != 0) continue;
    if (address.size() != 17 || address == "00:00:00:00:00:00") continue;
    found.emplace_back(index, address);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> macs;
  for (auto& item : found) macs.push_back(item.second);
  return macs;
}

TEST(CYqNetSettings, MacAddressesAreWellFormedAndInInterfaceOrder) {
  std::vector<std::string> macs{"stale"};
  ASSERT_TRUE(CYqNetSettings::GetMacAddresses(macs).IsSuccess());
  for (const auto& mac : macs) {
    EXPECT_TRUE(IsMacText(mac) && mac != "00:00:00:00:00:00") << mac;
  }
  if (std::filesystem::exists("/sys/class/net")) {
    EXPECT_EQ(macs, MacsFromSysfs());
  }
}

TEST(CYqNetSettings, NonsenseSocketSetSizeMeansTheSystemsOwnAndTheProbeWorks) {
  CYqNetSettings::SetMaxSocketSetSize(4096);
  EXPECT_EQ(CYqNetSettings::GetMaxSocketSetSize(), 4096);
  CYqNetSettings::SetMaxSocketSetSize(-5);
  EXPECT_EQ(CYqNetSettings::GetMaxSocketSetSize(), 0);
  EXPECT_TRUE(CYqNetSettings::ProbeTcpSocket().IsSuccess());
}

}  // namespace
