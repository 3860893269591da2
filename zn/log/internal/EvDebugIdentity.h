// The process identity a log gathers once per process, and the host texts
// it hands to the writer's header.
#pragma once

#include <string>

namespace zn::detail {

// Step by step as the log's start-up needs it; false when the client name
// cannot be had. `fdsetSize` receives the select size it applied (0: none).
bool GatherProcessIdentity(const std::string& moduleName, int& fdsetSize);

// The first address of a host as text: "Not found" when the lookup fails,
// "None" when it gives no address.
std::string HostAddressText(const std::string& host);
// The second part of a three-part product version, scaled as a service
// pack number (1000 and above / 100, 101 to 999 / 10); 0 otherwise.
int ServicePackFromVersion(const std::string& version);

}  // namespace zn::detail
