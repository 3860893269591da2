#include "zn/logupkeep/Db2AuditErrorPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueDir.h"

namespace zn::detail {
namespace {

constexpr const char* kFunction = "CheckAndPruneDb2AuditErrorPath";
constexpr const char* kSection = "Db2Agent";
constexpr long long kJobId = -123456;
// Names that are never the agent's files: file-system and snapshot folders
// and the Windows folder settings a share may carry.
constexpr std::string_view kSkipped[] = {".", "..", "lost+found", "System Volume Information", "Desktop.ini",
                                         ".snapshot"};

bool IsSkipped(std::string_view name) {
  for (const std::string_view skipped : kSkipped) {
    if (name == skipped) return true;
  }
  return false;
}

}  // namespace
}  // namespace zn::detail

CYqError CheckAndPruneDb2AuditErrorPath() {
  using namespace zn::detail;
  using zn::LogSettings;
  const std::optional<std::string> folder = LogSettings::Text(kSection, "sDB2_AUDIT_ERROR_PATH");
  const std::optional<long long> days = LogSettings::Number(kSection, "nDB2PruneMediaOffsetFileAfterDays");
  if (!folder || folder->empty() || !days || *days <= 0) return CYqError::Success();

  EvDebug log;
  const unsigned long count = static_cast<unsigned long>(*days);
  const char* unit = count == 1 ? "day" : "days";
  log.DebugLvl(kFunction, 0, kJobId, "Pruning Log Media Offset files in the dir=[%s] which have not been accessed for %lu %s.",
               folder->c_str(), count, unit);
  yq::UniqueDir dir = yq::OpenDir(folder->c_str());
  if (!dir) {
    const int err = errno;
    log.DebugLvl(kFunction, 0, kJobId, "Failed to open the directory: %s\n", folder->c_str());
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, err, "Cannot list [%s]", folder->c_str());
  }
  const long long limit = static_cast<long long>(::time(nullptr)) - *days * 86400;
  CYqError first;
  while (true) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        const int err = errno;
        log.DebugLvl(kFunction, 0, kJobId, "Failed to read the directory contents: %s\n", folder->c_str());
        if (first.IsSuccess()) first = FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, err, "Cannot read [%s]", folder->c_str());
      }
      break;
    }
    if (IsSkipped(entry->d_name)) continue;
    const std::string path = FXPath::Append(*folder, entry->d_name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      log.DebugLvl(kFunction, 0, kJobId, "Stat error [%s] errno=[%d]\n", path.c_str(), errno);
      continue;
    }
    if (!S_ISREG(st.st_mode)) continue;
    log.DebugLvl(kFunction, 0, kJobId, "Found file [%s] ... last accessed=%ld last modified=%ld last changed=%ld",
                 path.c_str(), static_cast<long>(st.st_atime), static_cast<long>(st.st_mtime),
                 static_cast<long>(st.st_ctime));
    if (static_cast<long long>(st.st_atime) >= limit) continue;
    log.DebugLvl(kFunction, 0, kJobId, "Pruning Log Media Offset files=[%s] which have not been accessed for %lu %s.",
                 path.c_str(), count, unit);
    const CYqError error = FXFile::Remove(path);
    if (error.IsError()) {
      log.DebugLvl(kFunction, 0, kJobId, "Failed to delete [%s]. Error Message:[%s]", path.c_str(),
                   error.AsString().c_str());
      if (first.IsSuccess()) first = error;
    }
  }
  return first;
}
