// Name and address lookup, the preferred address family, MAC addresses and
// the socket settings that a process's log start-up applies.
#pragma once

#include <string>
#include <vector>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

// Address family codes as the configuration store keeps them.
inline constexpr int kDzFamilyUnspecified = 0;
inline constexpr int kDzFamilyIPv4 = 2;
inline constexpr int kDzFamilyIPv6 = 23;

class YQ_EXPORT CYqIPAddr {
 public:
  // Family tried first by lookups: one of the codes above; others mean
  // unspecified.
  static void SetPreferredFamily(int storeFamily);
  static int GetPreferredFamily();

  // The addresses of `host` as numeric texts, the preferred family first.
  static CYqError LookupHost(const std::string& host, std::vector<std::string>& addresses);
  static CYqError GetLocalHostName(std::string& name);
};

// Socket settings of the process.
class YQ_EXPORT CYqNetSettings {
 public:
  static void DisableUnixSockets(bool disabled);
  static bool AreUnixSocketsDisabled();
  static void SetFastLoopback(bool enabled);
  static bool IsFastLoopbackEnabled();
  // Largest socket set a select-style wait may use (0: the system's).
  static void SetMaxSocketSetSize(int size);
  static int GetMaxSocketSetSize();

  // Opens and closes one TCP socket: tells whether networking works at all.
  static CYqError ProbeTcpSocket();

  // The machine's MAC addresses ("00:1a:2b:3c:4d:5e"), loopback left out,
  // in interface-index order.
  static CYqError GetMacAddresses(std::vector<std::string>& macs);
};
