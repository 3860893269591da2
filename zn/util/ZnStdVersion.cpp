#include "zn/util/ZnStdVersion.h"

#include <climits>
#include <cstdlib>
#include <vector>

namespace zn::detail {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::vector<std::string> SplitAtDots(const std::string& text) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  return parts;
}

// "<service pack>[<letter>|+|-][ HPK<update>|.<update>]", the text after " SP".
void ParseServicePackPart(std::string rest, ZnStdVersion& version) {
  if (!rest.empty()) {
    const char last = rest.back();
    if (last == '+' || last == '-') {
      rest.pop_back();
    } else if (IsAsciiLetter(last)) {
      version.servicePackLetter = (last | 0x20) - 96;  // lower case, 'a' is 1
      rest.pop_back();
    }
  }
  std::size_t split = rest.find(" HPK");
  std::size_t skip = 4;
  if (split == std::string::npos) {
    split = rest.find('.');
    skip = 1;
  }
  if (split == std::string::npos) {
    version.servicePack = VersionNumber(rest);
    return;
  }
  version.servicePack = VersionNumber(rest.substr(0, split));
  version.updateNumber = VersionNumber(rest.substr(split + skip));
}

}  // namespace

int VersionNumber(const std::string& text) {
  // The suite's long is 32 bits: strtol saturates at the int range there.
  const long long value = std::strtoll(text.c_str(), nullptr, 0);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace zn::detail

bool GetAllInfoFromVersionStr(const std::string& text, ZnStdVersion& version) {
  using zn::detail::VersionNumber;
  if (text.empty()) return false;
  ZnStdVersion parsed;
  if (text.compare(0, 2, "SP") == 0) {
    parsed.servicePack = VersionNumber(text.substr(2));
  } else if (const std::size_t at = text.find(" SP"); at != std::string::npos) {
    parsed.release = VersionNumber(text.substr(0, at));
    zn::detail::ParseServicePackPart(text.substr(at + 3), parsed);
  } else if (text.find('.') == std::string::npos) {
    parsed.servicePack = VersionNumber(text);
  } else {
    const std::vector<std::string> parts = zn::detail::SplitAtDots(text);
    if (parts.size() == 3) {
      parsed.release = VersionNumber(parts[0]);
      parsed.servicePack = VersionNumber(parts[1]);
      parsed.updateNumber = VersionNumber(parts[2]);
    } else if (parts.size() == 4) {
      // "7.0.240.4": the third part carries the service pack times ten,
      // unless it is a build-style number above 2000.
      parsed.release = VersionNumber(parts[0]);
      parsed.servicePack = VersionNumber(parts[2]);
      if (parsed.servicePack < 2001) parsed.servicePack /= 10;
      parsed.updateNumber = VersionNumber(parts[3]);
    } else {
      return false;
    }
  }
  version = parsed;
  return true;
}

int GetInfoFromVersionStr(const std::string& text, VersionFields field) {
  ZnStdVersion version;
  if (!GetAllInfoFromVersionStr(text, version)) return -1;
  switch (field) {
    case VersionRelease: return version.release;
    case VersionServicePack: return version.servicePack;
    case VersionServicePackLetter: return version.servicePackLetter;
    case VersionUpdateNumber: return version.updateNumber;
  }
  return -1;
}

std::string FormatZnStdVersionString(const ZnStdVersion& version) {
  std::string text = std::to_string(version.release) + "." + std::to_string(version.servicePack);
  if (version.servicePackLetter >= 1 && version.servicePackLetter <= 26) {
    text.push_back(static_cast<char>('a' + version.servicePackLetter - 1));
  }
  return text + "." + std::to_string(version.updateNumber);
}
