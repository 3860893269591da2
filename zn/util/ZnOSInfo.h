// The operating system's identification texts. Here they come from
// os-release (/etc/os-release, else /usr/lib/os-release), uname(2) and
// /proc/cpuinfo. Windows hot-fixes have no counterpart: the hot-fix queries
// succeed and find nothing (empty texts).
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "zn/base/ZnExport.h"

// "<name> (<kernel release> <machine>)", for example
// "Debian GNU/Linux 12 (bookworm) (6.1.0-18-amd64 x86_64)": the name as
// ZN_GetOSInfoUsingRegistry gives it, else the kernel's name ("Linux").
ZN_EXPORT bool ZN_GetOSInstalled(std::string& os);

// `productType`: os-release VARIANT when set; else "Workstation" when a
// display manager is configured (/etc/systemd/system/display-manager.service),
// else "Server". `processorType`: the first "model name" of /proc/cpuinfo,
// else the machine name of uname. `processors`: the online processors.
ZN_EXPORT bool ZN_GetProductTypeAndProcessorType(std::string& productType, std::string& processorType,
                                       unsigned long& processors);

// PRETTY_NAME, else NAME, of os-release; false (and `os` untouched) when
// there is neither.
ZN_EXPORT bool ZN_GetOSInfoUsingRegistry(std::string& os);

// True with empty texts: there are no hot-fixes to list.
ZN_EXPORT bool ZN_GetOSHotFixInstalled(std::string& hotfixes);
ZN_EXPORT bool ZN_GetOSHotFixAndSeparateKBInstalled(std::string& hotfixes, std::string& separateKBs);
ZN_EXPORT bool ZN_GetHotFixUsingWmi(std::string& hotfixes);

namespace zn {

// The value of `name` in os-release text (shell-style assignments, the last
// one wins): quotes removed and, inside double quotes, backslash escapes
// resolved. "" when absent.
ZN_EXPORT std::string OsReleaseValue(std::istream& text, std::string_view name);

}  // namespace zn
