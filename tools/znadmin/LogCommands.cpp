// znadmin log: the levels and switches of a process log as the store holds
// them, and its file.
//
//   log level LOG [N] [--for DURATION]   show or set "<LOG>_DEBUGLEVEL"
//   log off LOG | log on LOG             "<LOG>_TurnOffLogging"
//   log tail LOG [-n N] [-f]             the end of the log's file
//   log prune [FOLDER] [--dry-run]       prune and compress a log folder
//   log unzip FILE [--to DIR]            expand a compressed log version
//
// A running process picks a new level up within its refresh interval. Every
// level set here is temporary: the settings revision gives it an expiry
// (seven days, or DURATION with --for) and then removes it.

#include <sys/stat.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "Commands.h"
#include "FileFollow.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/logupkeep/DeCompressLogFile.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogCatalogue.h"
#include "zn/logupkeep/LogPrunePlan.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/FXPath.h"

namespace zn::admin {
namespace {

constexpr const char* kSection = "EventManager";

int Fail(const std::string& message, int code = kExitFailure) {
  std::cerr << "znadmin: " << message << "\n";
  return code;
}

// The catalogue's row of a log, by its name.
const ZNLogFileInfo* KnownLog(const std::string& name) { return zn::FindLogByName(name); }

// Expiry values are 32-bit seconds since 1970.
constexpr long long kLatestExpiry = 0xFFFFFFFFLL;

// "90", "90s", "15m", "2h" or "7d" in seconds; 0 when it does not parse or
// its expiry, counted from `now`, would not fit an expiry value.
long long ParseDuration(const std::string& text, long long now) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || value <= 0) return 0;
  const std::string unit(rest, end);
  long long scale = 0;
  if (unit.empty() || unit == "s") scale = 1;
  if (unit == "m") scale = 60;
  if (unit == "h") scale = 3600;
  if (unit == "d") scale = 86400;
  if (scale == 0 || value > (kLatestExpiry - now) / scale) return 0;
  return value * scale;
}

int Level(const std::string& log, const std::string& level, const std::string& duration) {
  const ZNLogFileInfo* row = KnownLog(log);
  if (row == nullptr) return Fail("[" + log + "] is not a log of this suite");
  const std::string name = std::string(row->name) + "_DEBUGLEVEL";
  const std::string expiry = name + "_UNTIL";
  ZNPlatformInfo store(0, 0);
  if (level.empty()) {
    unsigned long value = 0;
    if (store.getNumber(kSection, name.c_str(), &value) == 0 || value == 0) {
      std::cout << row->name << ": " << row->defaultDebugLevel << " (default)\n";
      return kExitOk;
    }
    unsigned long until = 0;
    std::cout << row->name << ": " << value;
    if (store.getNumber(kSection, expiry.c_str(), &until) != 0) {
      const std::time_t when = static_cast<std::time_t>(until);
      char text[64];
      std::tm local{};
      ::localtime_r(&when, &local);
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
      std::cout << " (until " << text << ")";
    }
    std::cout << "\n";
    return kExitOk;
  }
  int number = -1;
  const auto [end, error] = std::from_chars(level.data(), level.data() + level.size(), number);
  if (error != std::errc() || end != level.data() + level.size() || number < 0) {
    return Fail("[" + level + "] is not a debug level", kExitUsage);
  }
  if (number == 0) {  // 0 means "the catalogue's level": the setting goes
    store.deleteField(kSection, name.c_str());
    store.deleteField(kSection, expiry.c_str());
    std::cout << row->name << ": back to " << row->defaultDebugLevel << " (default)\n";
    return kExitOk;
  }
  const long long now = ::time(nullptr);
  long long seconds = 0;
  if (!duration.empty() && (seconds = ParseDuration(duration, now)) == 0) {
    return Fail("[" + duration + "] is not a duration (e.g. 90s, 15m, 2h, 7d) of at most " +
                    std::to_string((kLatestExpiry - now) / 86400) + " days, the latest expiry a setting can hold",
                kExitUsage);
  }
  if (store.setNumber(kSection, name.c_str(), static_cast<unsigned long>(number)) == 0) {
    return Fail("cannot write [" + name + "]: " + store.getLastErrorMsg());
  }
  // Without --for the revision adds its own expiry; an old one must not
  // cut the new level short.
  if (seconds > 0) {
    store.setNumber(kSection, expiry.c_str(), static_cast<unsigned long>(now + seconds));
  } else {
    store.deleteField(kSection, expiry.c_str());
  }
  std::cout << row->name << ": " << number << "\n";
  return kExitOk;
}

int Switch(const std::string& log, bool off) {
  const ZNLogFileInfo* row = KnownLog(log);
  if (row == nullptr) return Fail("[" + log + "] is not a log of this suite");
  const std::string name = std::string(row->name) + "_TurnOffLogging";
  ZNPlatformInfo store(0, 0);
  if (off ? store.setNumber(kSection, name.c_str(), 1) == 0
          : store.deleteField(kSection, name.c_str()) == 0 && store.getRegError() != -3) {
    return Fail("cannot change [" + name + "]: " + store.getLastErrorMsg());
  }
  std::cout << row->name << ": logging " << (off ? "off" : "on")
            << " from the next start of its processes (a log switched off stays off while its process runs)\n";
  return kExitOk;
}

int Tail(const std::string& log, int lines, bool follow) {
  const ZNLogFileInfo* row = KnownLog(log);
  if (row == nullptr) return Fail("[" + log + "] is not a log of this suite");
  const std::string folder = zn::LogSettings::LogFilesDirectory();
  if (folder.empty()) return Fail("the log folder (EventManager/dEVLOGDIR) is not set");
  const std::string path = FXPath::Append(folder, std::string(row->name) + ".log");
  std::ifstream in(path, std::ios::binary);
  struct stat info {};
  if (!in || ::stat(path.c_str(), &info) != 0) return Fail("cannot open [" + path + "]");
  std::deque<std::string> last;
  for (std::string line; std::getline(in, line);) {
    last.push_back(std::move(line));
    if (static_cast<int>(last.size()) > lines) last.pop_front();
  }
  for (const std::string& line : last) std::cout << line << "\n";
  std::cout << std::flush;
  if (follow) FollowFile(path, info.st_size, info.st_ino);
  return kExitOk;
}

int Prune(std::string folder, bool dryRun) {
  if (folder.empty()) folder = zn::LogSettings::LogFilesDirectory();
  if (folder.empty()) return Fail("no folder given and the log folder (EventManager/dEVLOGDIR) is not set");
  std::vector<zn::PruneAction> plan;
  const CYqError planned = zn::PruneLogFolder(folder, true, &plan);
  if (planned.IsError()) return Fail("cannot prune [" + folder + "]: " + planned.AsString(eErrorOutputUser));
  std::size_t deletions = 0;
  for (const auto& action : plan) {
    const bool remove = action.kind == zn::PruneAction::kDelete;
    deletions += remove ? 1 : 0;
    std::cout << (dryRun ? (remove ? "would delete   " : "would compress ") : (remove ? "delete   " : "compress "))
              << action.path << "\n";
  }
  if (!dryRun) {
    const CYqError error = EvDebug::PruneLogFiles(folder, true);
    if (error.IsError()) return Fail("cannot prune [" + folder + "]: " + error.AsString(eErrorOutputUser));
  }
  std::cout << folder << ": " << deletions << (dryRun ? " to delete, " : " deleted, ") << plan.size() - deletions
            << (dryRun ? " to compress\n" : " compressed\n");
  return kExitOk;
}

int Unzip(const std::string& file, std::string destination) {
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

void AddLogCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* log = app.add_subcommand("log", "The levels, switches and files of the process logs");
  log->require_subcommand(1);
  struct Arguments {
    std::string log, level, duration, folder, file, destination;
    int lines = 10;
    bool follow = false;
    bool dryRun = false;
  };
  static Arguments a;

  CLI::App* level = log->add_subcommand("level", "Show or set a log's debug level (0: back to the default)");
  level->add_option("log", a.log, "The log's name, e.g. zndemo")->required();
  level->add_option("level", a.level, "The new level");
  level->add_option("--for", a.duration, "Only for this long: 90s, 15m, 2h, 7d");
  handlers.push_back({level, [] { return Level(a.log, a.level, a.duration); }});

  CLI::App* off = log->add_subcommand("off", "Switch a log off");
  off->add_option("log", a.log, "The log's name")->required();
  handlers.push_back({off, [] { return Switch(a.log, true); }});
  CLI::App* on = log->add_subcommand("on", "Switch a log back on");
  on->add_option("log", a.log, "The log's name")->required();
  handlers.push_back({on, [] { return Switch(a.log, false); }});

  CLI::App* tail = log->add_subcommand("tail", "The last lines of a log; -f follows it across rollovers");
  tail->add_option("log", a.log, "The log's name")->required();
  tail->add_option("-n", a.lines, "How many lines")->check(CLI::NonNegativeNumber);
  tail->add_flag("-f", a.follow, "Keep printing new lines");
  handlers.push_back({tail, [] { return Tail(a.log, a.lines, a.follow); }});

  CLI::App* prune = log->add_subcommand("prune", "Prune and compress the versions of a log folder");
  prune->add_option("folder", a.folder, "The folder (default: the log folder)");
  prune->add_flag("--dry-run", a.dryRun, "Only print what would be deleted or compressed");
  handlers.push_back({prune, [] { return Prune(a.folder, a.dryRun); }});

  CLI::App* unzip = log->add_subcommand("unzip", "Expand a compressed log version (.log.zip)");
  unzip->add_option("file", a.file, "The .zip file")->required();
  unzip->add_option("--to", a.destination, "Where to put the log (default: beside the archive)");
  handlers.push_back({unzip, [] { return Unzip(a.file, a.destination); }});
}

}  // namespace zn::admin
