// Pruning and compressing the log versions of one folder
// (EvDebug::PruneLogFiles): list, group the files by log, judge each group's
// versions by its own log's settings, then apply the hard age limit to the
// current files when it is configured.

#include <algorithm>
#include <string>
#include <vector>

#include "zn/log/EvDebug.h"
#include "zn/logupkeep/internal/LogPruneParameters.h"
#include "zn/logupkeep/LogPrunePlan.h"
#include "zn/logupkeep/internal/LogPruneWalk.h"
#include "zn/log/LogSettings.h"
#include "zn/logupkeep/internal/LogVersionCompressor.h"
#include "zn/logupkeep/LogVersionName.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

constexpr const char* kPruneFunction = "EvDebug::PruneLogFiles";
constexpr const char* kProcessFunction = "EvDebug::ProcessLogFiles";
constexpr const char* kCleanupFunction = "EvDebug::CleanupLatestLogFiles";
constexpr std::string_view kZip = ".zip";

// What one pruning run of a folder shares.
struct PruneRun {
  std::string folder;
  CTimeStamp now;
  bool compress = false;
  C7zip* archiver = nullptr;
  const std::vector<LogFileEntry>* entries = nullptr;
  std::vector<std::size_t> currentFiles;  // parents that exist, for the hard age limit
  std::vector<PruneAction>* plan = nullptr;  // a dry run: record, do not act
};

// One version: its plain file, its archive, or both (a compression that
// was cut short between the rename of the archive and the removal).
struct Version {
  const LogFileEntry* plain = nullptr;
  const LogFileEntry* archive = nullptr;
  const LogFileEntry& any() const { return plain != nullptr ? *plain : *archive; }
};

std::string WithoutZip(const std::string& name) {
  return name.ends_with(kZip) ? name.substr(0, name.size() - kZip.size()) : name;
}

// Newest first by the number after the last "_"; a version's plain file and
// archive come out side by side.
std::vector<Version> SortVersions(const PruneRun& run, const std::vector<std::size_t>& indexes) {
  std::vector<const LogFileEntry*> files;
  files.reserve(indexes.size());
  for (const std::size_t i : indexes) files.push_back(&(*run.entries)[i]);
  std::sort(files.begin(), files.end(), [](const LogFileEntry* a, const LogFileEntry* b) {
    if (IsNewerVersionName(a->name, b->name)) return true;
    if (IsNewerVersionName(b->name, a->name)) return false;
    return a->name > b->name;  // a fixed order; the archive before its plain file
  });
  std::vector<Version> versions;
  for (const LogFileEntry* file : files) {
    const bool isArchive = file->name.ends_with(kZip);
    if (versions.empty() || WithoutZip(versions.back().any().name) != WithoutZip(file->name)) versions.emplace_back();
    (isArchive ? versions.back().archive : versions.back().plain) = file;
  }
  return versions;
}

// Deletes one file of a condemned version. A file already gone is no failure:
// another pruner got there first.
void DeleteVersionFile(const PruneRun& run, const LogFileEntry& file, bool beyondCount) {
  EvDebug log;
  const std::string path = FXPath::Append(run.folder, file.name);
  if (run.plan != nullptr) {
    run.plan->push_back({PruneAction::kDelete, path});
    return;
  }
  log.DebugLvl(kProcessFunction, 5, "%s [%s]", beyondCount ? "Deleting " : "Pruning ", path.c_str());
  CYqError error = FXFile::Remove(path);
  if (error.IsError() && FXFile::Exists(path)) {
    log.DebugLvl(kProcessFunction, 1, "Failed to delete file %s. Error Message:[%s]", path.c_str(),
                 error.AsString().c_str());
  }
}

// The compression step of a surviving plain file.
void CompressIfDue(const PruneRun& run, const LogFileEntry& file, const LogPruneParameters& parameters,
                   bool archiveListed) {
  if (!run.compress || parameters.compressionOff) return;
  EvDebug log;
  const std::string path = FXPath::Append(run.folder, file.name);
  if (file.lastWriteTime >= parameters.compressBefore) {
    if (LogWants(5)) {
      log.DebugLvl(kProcessFunction, 5, "File [%s] is not older than [%s]. So not attempting compression.",
                   path.c_str(), TimeText(parameters.compressBefore).c_str());
    }
    return;
  }
  const std::string archive = path + std::string(kZip);
  if (run.plan != nullptr) {
    run.plan->push_back({archiveListed || FXFile::Exists(archive) ? PruneAction::kDelete : PruneAction::kCompress, path});
    return;
  }
  if (archiveListed || FXFile::Exists(archive)) {
    bool same = false;
    const CYqError compared = run.archiver->CompareWithFile(archive, path, same);
    if (compared.IsSuccess()) {
      CYqError error = same ? FXFile::Remove(path)
                            : FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorFileExists,
                                                      "[%s] holds other bytes than [%s]", archive.c_str(),
                                                      path.c_str());
      if (error.IsSuccess()) {
        log.DebugLvl(kProcessFunction, 5, "Deleted [%s] as its compressed version is present.", path.c_str());
      } else {
        log.DebugLvl(kProcessFunction, 1, "Delete file %s is failed as its compressed version is present. "
                     "Error Message:[%s]", path.c_str(), error.AsString().c_str());
      }
      return;
    }
    // An archive that cannot be read is no copy of anything: make it anew.
  }
  log.DebugLvl(kProcessFunction, 5, "Compressing [%s].", path.c_str());
  CompressFailure failure = CompressFailure::kNone;
  const CYqError error = CompressLogVersion(*run.archiver, path, failure);
  if (failure == CompressFailure::kArchive) {
    log.DebugLvl(kProcessFunction, 1, "Failed to add file %s to archive. Error Message:[%s]", path.c_str(),
                 error.AsString().c_str());
  }
  if (failure == CompressFailure::kRemove) {
    log.DebugLvl(kProcessFunction, 1, "Failed to delete file %s. Error Message:[%s]", path.c_str(),
                 error.AsString().c_str());
  } else if (error.IsError()) {
    log.DebugLvl(kProcessFunction, 1, "Failed to compress the log file %s. Error Message:[%s]", path.c_str(),
                 error.AsString().c_str());
  }
}

void ProcessLogFiles(const PruneRun& run, const LogGroup& group, const LogPruneParameters& parameters) {
  EvDebug log;
  const std::string parentPath = FXPath::Append(run.folder, group.baseName + ".log");
  const std::vector<Version> versions = SortVersions(run, group.versions);
  if (LogWants(2)) {
    log.DebugLvl(kProcessFunction, 2, "[%s] - TotalVersions [%u]  VersionToKeep [%u]  PruneTime [%s]  HardPruneTime [%s]",
                 parentPath.c_str(), static_cast<unsigned>(versions.size()), parameters.versionsToKeep,
                 parameters.pruneTime ? TimeText(*parameters.pruneTime).c_str() : "None",
                 TimeText(parameters.hardPruneTime).c_str());
  }
  const bool traced = LogWants(10);
  for (std::size_t n = 1; n <= versions.size(); ++n) {
    const Version& version = versions[n - 1];
    // The plain file's time is the log's own last write; an archive carries it.
    const CTimeStamp written = version.any().lastWriteTime;
    if (traced) {
      log.DebugLvl(kProcessFunction, 10, "[%s] - versionProcessed [%u]  lastWriteTime [%s]",
                   FXPath::Append(run.folder, version.any().name).c_str(), static_cast<unsigned>(n),
                   TimeText(written).c_str());
    }
    const bool beyondCount = n > parameters.versionsToKeep;
    const bool tooOld =
        (parameters.pruneTime && written < *parameters.pruneTime) || written < parameters.hardPruneTime;
    if (beyondCount || tooOld) {
      for (const LogFileEntry* file : {version.plain, version.archive}) {
        if (file != nullptr) DeleteVersionFile(run, *file, beyondCount);
      }
      continue;
    }
    if (version.plain != nullptr) CompressIfDue(run, *version.plain, parameters, version.archive != nullptr);
  }
  for (const std::size_t i : group.queued) {
    const LogFileEntry& file = (*run.entries)[i];
    if (!file.name.ends_with(kZip)) CompressIfDue(run, file, parameters, false);
  }
}

void RotateAndCompressLogFiles(PruneRun& run, const LogGroup& group) {
  if (group.parent) run.currentFiles.push_back(*group.parent);
  if (group.versions.empty() && group.queued.empty()) return;
  ProcessLogFiles(run, group, GetDebugLogRetentionAndMaxVersionInfoForPruning(group.baseName, run.now));
}

void CleanupLatestLogFiles(const PruneRun& run) {
  const std::optional<long long> days = PositiveSetting(kCleanupLogsOlderThanDays);
  if (!days) return;
  EvDebug log;
  const CTimeStamp limit = DaysBefore(run.now, *days);
  log.DebugLvl(kCleanupFunction, 7, "HardLogPruningTime [%s\\%s] => %u ... [%s]", kPruneSection,
               kCleanupLogsOlderThanDays, static_cast<unsigned>(*days), TimeText(limit).c_str());
  for (const std::size_t i : run.currentFiles) {
    const std::string path = FXPath::Append(run.folder, (*run.entries)[i].name);
    // Read again: a writer may have written since the listing.
    FXFileInfo info;
    if (FXFile::GetInfo(path, info).IsError()) continue;
    if (info.lastWriteTime < limit && run.plan != nullptr) {
      run.plan->push_back({PruneAction::kDelete, path});
    } else if (info.lastWriteTime < limit) {
      log.DebugLvl(kCleanupFunction, 5, "Delete [%s] ... LastWriteTime [%s]", path.c_str(),
                   TimeText(info.lastWriteTime).c_str());
      const CYqError error = FXFile::Remove(path);
      if (error.IsError()) {
        log.DebugLvl(kCleanupFunction, 1, "Failed to delete [%s]. Error Message:[%s]", path.c_str(),
                     error.AsString().c_str());
      }
    } else if (LogWants(13)) {
      log.DebugLvl(kCleanupFunction, 13, "Skip [%s] ... LastWriteTime [%s]", path.c_str(),
                   TimeText(info.lastWriteTime).c_str());
    }
  }
}

}  // namespace
}  // namespace zn::detail

namespace zn {

CYqError PruneLogFolder(std::string& folder, bool compress, std::vector<PruneAction>* plan) {
  using namespace zn::detail;
  if (folder.empty()) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorEmptyInput, "Log files path is empty");
  }
  EvDebug log;
  const std::string pattern = FXPath::Append(folder, "*.*");
  log.DebugLvl(kPruneFunction, 5, "Searching log files with pattern %s", pattern.c_str());
  std::vector<FXFileInfo> listing;
  CYqError error = FXFile::FindFiles(folder, "*.*", listing);
  if (error.IsError()) {
    log.DebugLvl(kPruneFunction, 1, "Could not files with pattern: [%s]. Error:[%s]", pattern.c_str(),
                 error.AsString().c_str());
    return error.Push(FX_CODE_LOCATION);
  }
  if (std::none_of(listing.begin(), listing.end(), [](const FXFileInfo& info) { return !info.isDirectory; })) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorEmptyInput, "No log files found");
  }

  PruneRun run;
  run.folder = folder;
  run.now = CTimeStamp::Now();
  run.compress = compress;
  run.plan = plan;
  const long long turnedOff = LogSettings::Number(kPruneSection, kTurnOffLogCompress).value_or(0);
  if (run.compress && turnedOff != 0) {
    run.compress = false;
    log.DebugLvl(kPruneFunction, 5, "[%s/%s] = %u", kPruneSection, kTurnOffLogCompress,
                 static_cast<unsigned>(turnedOff));
  }
  C7zip archiver(folder, e7zipFormatZip);
  if (run.compress) {
    error = archiver.Initialize();
    if (error.IsError()) {
      log.Error(kPruneFunction, "Failed to initialize 7z archiver, error=%s", error.AsString().c_str());
      run.compress = false;
    }
  }
  run.archiver = &archiver;

  std::vector<LogFileEntry> entries = SelectLogFiles(listing);
  run.entries = &entries;
  WalkLogGroups(entries, [&run](const LogGroup& group) { RotateAndCompressLogFiles(run, group); });
  CleanupLatestLogFiles(run);
  return CYqError::Success();
}

}  // namespace zn

CYqError EvDebug::PruneLogFiles(std::string& folder, bool compress) {
  return zn::PruneLogFolder(folder, compress, nullptr);
}
