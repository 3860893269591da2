#include "zuzazer/LogVersions.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "zuzazer/CTimeStamp.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"

namespace yq {
namespace {

// The stamp part of a version name: what lies between "<base>_" and ".log".
std::string StampOf(const std::string& fileName, const std::string& baseName) {
  const auto end = fileName.find('.', baseName.size() + 1);
  return fileName.substr(baseName.size() + 1, end - baseName.size() - 1);
}

// Newest first: longer digit strings are later; equal lengths compare as text.
bool NewerStamp(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() > b.size();
  return a > b;
}

}  // namespace

std::string LogVersionFileName(const std::string& baseName, int64_t seconds) {
  const auto t = static_cast<time_t>(seconds);
  struct tm parts {};
  gmtime_r(&t, &parts);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return baseName + "_" + stamp + ".log";
}

bool IsLogVersionOf(const std::string& fileName, const std::string& baseName) {
  if (fileName.size() <= baseName.size() + 1 || fileName.compare(0, baseName.size(), baseName) != 0 ||
      fileName[baseName.size()] != '_') {
    return false;
  }
  const auto dot = fileName.find('.', baseName.size() + 1);
  if (dot == std::string::npos || dot == baseName.size() + 1) return false;
  const std::string rest = fileName.substr(dot);
  if (rest != ".log" && rest != ".log.zip") return false;
  bool anyDigit = false;
  for (std::size_t i = baseName.size() + 1; i < dot; ++i) {
    const char c = fileName[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
    } else if (c != '_') {
      return false;
    }
  }
  return anyDigit;
}

std::vector<std::string> ListLogVersions(const std::string& directory, const std::string& baseName) {
  std::vector<FXFileInfo> entries;
  std::vector<std::string> versions;
  if (FXFile::FindFiles(directory, baseName + "_*", entries).IsError()) return versions;
  for (const auto& entry : entries) {
    if (!entry.isDirectory && IsLogVersionOf(entry.name, baseName)) versions.push_back(entry.name);
  }
  std::sort(versions.begin(), versions.end(), [&](const std::string& a, const std::string& b) {
    const std::string sa = StampOf(a, baseName), sb = StampOf(b, baseName);
    if (sa != sb) return NewerStamp(sa, sb);
    return a < b;  // the plain version before its archive
  });
  return versions;
}

void PruneLogVersions(const std::string& directory, const std::string& baseName, uint32_t maxVersions,
                      uint64_t retainSeconds) {
  const std::vector<std::string> versions = ListLogVersions(directory, baseName);
  const CTimeStamp oldestKept =
      CTimeStamp::Now() - CTimeInterval::FromSeconds(static_cast<long long>(retainSeconds));
  // A version and its archive count once.
  std::size_t rank = 0;
  std::string previousStamp;
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const std::string stamp = StampOf(versions[i], baseName);
    if (i > 0 && stamp != previousStamp) ++rank;
    previousStamp = stamp;
    const std::string path = FXPath::Append(directory, versions[i]);
    bool remove = rank >= maxVersions;
    if (!remove && retainSeconds > 0) {
      FXFileInfo info;
      remove = FXFile::GetInfo(path, info).IsSuccess() && info.lastWriteTime < oldestKept;
    }
    if (remove) FXFile::Remove(path);
  }
}

}  // namespace yq
