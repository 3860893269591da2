// znadmin log tail|list|prune|unzip: the files of the process logs.

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "LogCommands.h"
#include "LogTail.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/LogCatalogue.h"
#include "zn/log/LogSettings.h"
#include "zn/logupkeep/DeCompressLogFile.h"
#include "zn/logupkeep/LogPrunePlan.h"
#include "zn/logupkeep/LogVersionName.h"
#include "zn/pool/ZnThreadPool.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueDir.h"

namespace zn::admin {
namespace {

// --dir, else the store's log folder.
std::string LogFolder(const std::string& given) {
  if (!given.empty()) return given;
  RequireInstance();
  const std::string folder = zn::LogSettings::LogFilesDirectory();
  if (folder.empty()) {
    throw CommandError{kExitValueMissing, "the log folder (EventManager/dEVLOGDIR) is not set; --dir names one"};
  }
  return folder;
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int Tail(const std::string& log, const std::string& dir, const TailOptions& options) {
  const std::string folder = LogFolder(dir);
  // A log of the catalogue, or any log file of the folder by its base name.
  const ZNLogFileInfo* row = zn::FindLogByName(log);
  const std::string base = row != nullptr ? row->name : log;
  if (row == nullptr && !IsFile(FXPath::Append(folder, base + ".log"))) {
    return Fail("log [" + log + "] is not a log of this suite, nor a file of [" + folder + "]", kExitNotFound);
  }
  return TailLog(folder, base, options);
}

// ---- log list ----

struct LogFiles {
  unsigned long long currentBytes = 0;
  long long lastWrite = 0;
  bool current = false;
  unsigned versions = 0;
  unsigned compressed = 0;
  unsigned long long versionBytes = 0;
};

// The folder's files by log: current files first, then each version to
// the longest base it is a version of (a log of that name may have no
// current file any more).
std::map<std::string, LogFiles> Group(const std::string& folder, std::string& error) {
  std::map<std::string, LogFiles> logs;
  const yq::UniqueDir dir(::opendir(folder.c_str()));
  if (!dir) {
    error = "cannot read folder [" + folder + "]";
    return logs;
  }
  std::vector<std::pair<std::string, struct stat>> versions;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    struct stat info {};
    if (::lstat(FXPath::Append(folder, name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (!zn::VersionBaseOf(name).empty()) {
      versions.emplace_back(name, info);
    } else if (name.size() > 4 && name.ends_with(".log")) {
      LogFiles& log = logs[name.substr(0, name.size() - 4)];
      log.current = true;
      log.currentBytes = static_cast<unsigned long long>(info.st_size);
      log.lastWrite = static_cast<long long>(info.st_mtime);
    }
  }
  for (const auto& [name, info] : versions) {
    std::string base(zn::VersionBaseOf(name));
    for (const auto& [known, files] : logs) {
      if (files.current && known.size() > base.size() && zn::IsLogVersionName(name, known)) base = known;
    }
    LogFiles& log = logs[base];
    ++log.versions;
    if (name.ends_with(".zip")) ++log.compressed;
    log.versionBytes += static_cast<unsigned long long>(info.st_size);
  }
  return logs;
}

int List(const std::string& dir, bool json) {
  const std::string folder = LogFolder(dir);
  const bool store = PreferInstance();
  std::string error;
  const std::map<std::string, LogFiles> logs = Group(folder, error);
  if (!error.empty()) return Fail(error, IsFile(folder) ? kExitFailure : kExitNotFound);
  ZNPlatformInfo settings(0, 0);
  Json list = Json::array();
  for (const auto& [base, files] : logs) {
    const ZNLogFileInfo* row = zn::FindLogByName(base);
    Json level = nullptr;
    std::string source = "-";
    unsigned long stored = 0;
    if (row != nullptr && store &&
        settings.getNumber("EventManager", (std::string(row->name) + "_DEBUGLEVEL").c_str(), &stored) != 0 && stored != 0) {
      level = stored;
      source = "store";
    } else if (row != nullptr) {
      level = row->defaultDebugLevel;
      source = "default";
    }
    list.push_back({{"log", base},
                    {"bytes", files.current ? Json(files.currentBytes) : Json(nullptr)},
                    {"lastWrite", files.current ? Json(files.lastWrite) : Json(nullptr)},
                    {"versions", files.versions},
                    {"compressedVersions", files.compressed},
                    {"versionBytes", files.versionBytes},
                    {"level", level},
                    {"levelSource", source}});
  }
  return Emit(json, {{"folder", folder}, {"logs", list}}, [&] {
    std::printf("%-32s %10s %-19s %-14s %10s %s\n", "LOG", "SIZE", "LAST WRITE", "VERSIONS", "IN VERSIONS", "LEVEL");
    for (const Json& log : list) {
      const std::string versions = std::to_string(log["versions"].get<unsigned>()) +
                                   (log["compressedVersions"].get<unsigned>() > 0
                                        ? " (" + std::to_string(log["compressedVersions"].get<unsigned>()) + " zip)"
                                        : "");
      const std::string level =
          log["level"].is_null() ? "-" : std::to_string(log["level"].get<long long>()) + " (" + log["levelSource"].get<std::string>() + ")";
      std::printf("%-32s %10s %-19s %-14s %10s %s\n", log["log"].get<std::string>().c_str(),
                  log["bytes"].is_null() ? "-" : FormatBytes(log["bytes"].get<unsigned long long>()).c_str(),
                  log["lastWrite"].is_null() ? "-" : LocalTime(log["lastWrite"].get<long long>()).c_str(), versions.c_str(),
                  log["versions"].get<unsigned>() == 0 ? "-" : FormatBytes(log["versionBytes"].get<unsigned long long>()).c_str(),
                  level.c_str());
    }
    if (!store) std::printf("(levels are the catalogue's: no instance chosen to read the store's)\n");
  });
}

// ---- log prune, log unzip ----

int Prune(std::string folder, bool dryRun, bool json) {
  RequireInstance();  // each log's own settings decide
  if (folder.empty()) folder = LogFolder("");
  std::vector<zn::PruneAction> plan;
  const CYqError planned = zn::PruneLogFolder(folder, true, &plan);
  if (planned.IsError()) return Fail("cannot prune [" + folder + "]: " + planned.AsString(eErrorOutputUser));
  if (!dryRun) {
    const CYqError error = EvDebug::PruneLogFiles(folder, true);
    if (error.IsError()) return Fail("cannot prune [" + folder + "]: " + error.AsString(eErrorOutputUser));
  }
  std::size_t deletions = 0;
  Json actions = Json::array();
  for (const auto& action : plan) {
    const bool remove = action.kind == zn::PruneAction::kDelete;
    deletions += remove ? 1 : 0;
    actions.push_back({{"action", remove ? "delete" : "compress"}, {"path", action.path}});
  }
  const Json data = {{"folder", folder}, {"dryRun", dryRun}, {"actions", actions}};
  return Emit(json, data, [&] {
    for (const Json& action : actions) {
      const bool remove = action["action"] == "delete";
      std::cout << (dryRun ? (remove ? "would delete   " : "would compress ") : (remove ? "delete   " : "compress "))
                << action["path"].get<std::string>() << "\n";
    }
    std::cout << folder << ": " << deletions << (dryRun ? " to delete, " : " deleted, ") << plan.size() - deletions
              << (dryRun ? " to compress\n" : " compressed\n");
  });
}

int Unzip(const std::string& file, std::string destination) {
  PreferInstance();  // the size limit is a setting; its default applies without one
  if (!IsFile(file)) return Fail("file [" + file + "] does not exist", kExitNotFound);
  const auto slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  if (destination.empty()) destination = folder;
  C7zip archiver(folder, e7zipFormatZip);
  CYqError error = archiver.Initialize();
  std::string result;
  if (error.IsSuccess()) error = DeCompressLogFile(&archiver, folder, name, destination, result);
  if (error.IsError()) return Fail("cannot expand [" + file + "]: " + error.AsString(eErrorOutputUser));
  std::cout << result << "\n";
  return kExitOk;
}

}  // namespace

void AddLogFileCommands(CLI::App* log, std::vector<Handler>& handlers) {
  struct Arguments {
    std::string log, folder, file, destination;
    TailOptions tail;
    bool dryRun = false;
    bool json = false;
  };
  static Arguments a;

  CLI::App* tail = log->add_subcommand("tail", "The last lines of a log; -f follows it across rollovers");
  tail->add_option("log", a.log, "The log's name, e.g. zndemo")->required();
  tail->add_option("--dir", a.folder, "The log folder (default: the store's, EventManager/dEVLOGDIR)");
  AddTailOptions(tail, a.tail);
  handlers.push_back({tail, [] { return Tail(a.log, a.folder, a.tail); }});

  CLI::App* list = log->add_subcommand("list", "The logs of a folder: sizes, versions, levels");
  list->add_option("--dir", a.folder, "The folder (default: the store's log folder)");
  AddJsonFlag(list, a.json);
  handlers.push_back({list, [] { return List(a.folder, a.json); }});

  CLI::App* prune = log->add_subcommand("prune", "Prune and compress the versions of a log folder");
  prune->add_option("folder", a.folder, "The folder (default: the log folder)");
  prune->add_flag("--dry-run", a.dryRun, "Only print what would be deleted or compressed");
  AddJsonFlag(prune, a.json);
  handlers.push_back({prune, [] { return Prune(a.folder, a.dryRun, a.json); }});

  CLI::App* unzip = log->add_subcommand("unzip", "Expand a compressed log version (.log.zip)");
  unzip->add_option("file", a.file, "The .zip file")->required();
  unzip->add_option("--to", a.destination, "Where to put the log (default: beside the archive)");
  handlers.push_back({unzip, [] { return Unzip(a.file, a.destination); }});
}

void AddLogCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* log = app.add_subcommand("log", "The levels, switches and files of the process logs");
  log->require_subcommand(1);
  AddLogLevelCommands(log, handlers);
  AddLogFileCommands(log, handlers);
}

}  // namespace zn::admin
