#include "zn/file/internal/MountTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// Splits at single blanks; empty fields are kept, so a malformed line fails
// the checks below instead of shifting its fields.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  while (true) {
    const std::size_t blank = line.find(' ');
    fields.push_back(line.substr(0, blank));
    if (blank == std::string_view::npos) break;
    line.remove_prefix(blank + 1);
  }
  return fields;
}

bool ParseNumber(std::string_view text, unsigned& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool HasOption(std::string_view options, std::string_view option) {
  while (!options.empty()) {
    const std::size_t comma = options.find(',');
    if (options.substr(0, comma) == option) return true;
    if (comma == std::string_view::npos) break;
    options.remove_prefix(comma + 1);
  }
  return false;
}

template <std::size_t N>
bool OneOf(std::string_view value, const std::array<std::string_view, N>& names) {
  return std::find(names.begin(), names.end(), value) != names.end();
}

}  // namespace

namespace zn {

std::string DecodeMountField(std::string_view field) {
  std::string decoded;
  decoded.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
        IsOctal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value <= 0xFF) {
        decoded.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    decoded.push_back(field[i]);
  }
  return decoded;
}

bool ParseMountInfoLine(std::string_view line, MountEntry& entry) {
  const std::vector<std::string_view> fields = Fields(line);
  // id parent major:minor root mount-point options [optional...] - type source super-options
  const auto separator = std::find(fields.begin() + std::min<std::size_t>(fields.size(), 6), fields.end(), "-");
  if (fields.size() < 10 || separator == fields.end() || fields.end() - separator < 4) return false;
  unsigned id = 0;
  unsigned parent = 0;
  if (!ParseNumber(fields[0], id) || !ParseNumber(fields[1], parent)) return false;
  const std::string_view device = fields[2];
  const std::size_t colon = device.find(':');
  MountEntry parsed;
  if (colon == std::string_view::npos || !ParseNumber(device.substr(0, colon), parsed.major) ||
      !ParseNumber(device.substr(colon + 1), parsed.minor)) {
    return false;
  }
  if (fields[3].empty() || fields[4].empty() || separator[1].empty()) return false;
  parsed.root = DecodeMountField(fields[3]);
  parsed.mountPoint = DecodeMountField(fields[4]);
  parsed.fsType = DecodeMountField(separator[1]);
  parsed.source = DecodeMountField(separator[2]);
  parsed.readOnly = HasOption(fields[5], "ro") || HasOption(separator[3], "ro");
  entry = std::move(parsed);
  return true;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  std::map<std::string, std::size_t> byMountPoint;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    MountEntry entry;
    if (!ParseMountInfoLine(line, entry)) continue;
    const auto [it, inserted] = byMountPoint.emplace(entry.mountPoint, entries.size());
    if (inserted) {
      entries.push_back(std::move(entry));
    } else {
      entries[it->second] = std::move(entry);
    }
  }
  return entries;
}

}  // namespace zn

namespace zn::detail {


bool IsPseudoFileSystem(std::string_view fsType) {
  static constexpr std::array<std::string_view, 33> kPseudo = {
      "proc",       "sysfs",      "devtmpfs",   "devpts",     "tmpfs",       "ramfs",     "cgroup",
      "cgroup2",    "securityfs", "debugfs",    "tracefs",    "pstore",      "bpf",       "mqueue",
      "hugetlbfs",  "configfs",   "fusectl",    "autofs",     "binfmt_misc", "efivarfs",  "nsfs",
      "rpc_pipefs", "selinuxfs",  "smackfs",    "nfsd",       "squashfs",    "devfs",     "sockfs",
      "pipefs",     "fuse.lxcfs", "fuse.portal", "fuse.gvfsd-fuse", "rootfs"};
  return OneOf(fsType, kPseudo);
}

bool IsRemoteFileSystem(std::string_view fsType) {
  static constexpr std::array<std::string_view, 9> kRemote = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "ceph", "glusterfs"};
  return OneOf(fsType, kRemote);
}

bool IsOpticalFileSystem(std::string_view fsType) { return fsType == "iso9660" || fsType == "udf"; }

}  // namespace zn::detail
