// znadmin log level|off|on: a log's settings in the store.
//
// A running process picks a new level up within its refresh interval. A
// level in the store is always temporary: the settings revision gives it
// an expiry (seven days) the first time it sees it and removes both when
// it has passed. Setting a level keeps the expiry of the level it
// replaces, unless --for gives another; what applies is printed.

#include <charconv>
#include <climits>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>

#include "LogCommands.h"
#include "TimeArguments.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/LogCatalogue.h"

namespace zn::admin {
namespace {

constexpr const char* kSection = "EventManager";

// Expiry values are 32-bit seconds since 1970.
constexpr long long kLatestExpiry = 0xFFFFFFFFLL;

// What the store holds for a log's level.
struct StoredLevel {
  std::optional<unsigned long> level;  // absent, or 0: the catalogue's
  std::optional<unsigned long> until;
};

StoredLevel ReadLevel(ZNPlatformInfo& store, const std::string& name) {
  StoredLevel stored;
  unsigned long value = 0;
  if (store.getNumber(kSection, name.c_str(), &value) != 0 && value != 0) stored.level = value;
  if (store.getNumber(kSection, (name + "_UNTIL").c_str(), &value) != 0) stored.until = value;
  return stored;
}

int ShowLevel(const ZNLogFileInfo& row, bool json) {
  const std::string name = std::string(row.name) + "_DEBUGLEVEL";
  ZNPlatformInfo store(0, 0);
  const StoredLevel stored = ReadLevel(store, name);
  Json data = {{"log", row.name},
               {"level", stored.level ? static_cast<long long>(*stored.level) : static_cast<long long>(row.defaultDebugLevel)},
               {"source", stored.level ? "store" : "default"},
               {"default", row.defaultDebugLevel},
               {"until", stored.level && stored.until ? Json(*stored.until) : Json(nullptr)}};
  return Emit(json, data, [&] {
    std::cout << row.name << ": ";
    if (!stored.level) {
      std::cout << row.defaultDebugLevel << " (default)\n";
    } else if (stored.until) {
      std::cout << *stored.level << " (until " << LocalTime(static_cast<long long>(*stored.until)) << ", then "
                << row.defaultDebugLevel << ")\n";
    } else {
      std::cout << *stored.level << " (for seven days from the next settings revision, then "
                << row.defaultDebugLevel << ")\n";
    }
  });
}

// A level the store can give a log: the log takes the value as a signed
// number, and 0 means its catalogue level.
bool ParseLevel(const std::string& text, long long& level) {
  if (text == "default") {
    level = 0;
    return true;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), level);
  return error == std::errc() && end == text.data() + text.size() && level >= 0 && level <= INT_MAX;
}

int SetLevel(const ZNLogFileInfo& row, const std::string& text, const std::string& duration) {
  long long level = 0;
  if (!ParseLevel(text, level)) {
    return Fail("[" + text + "] is not a level the store can give a log: 1 to " + std::to_string(INT_MAX) +
                    ", or 0 or \"default\" for its catalogue level (" + std::to_string(row.defaultDebugLevel) + ")",
                kExitUsage);
  }
  const long long now = ::time(nullptr);
  long long seconds = 0;
  if (!duration.empty() && !ParseDuration(duration, kLatestExpiry - now, seconds)) {
    return Fail("[" + duration + "] is not a duration (e.g. 90s, 15m, 2h, 7d) of at most " +
                    std::to_string((kLatestExpiry - now) / 86400) + " days, the latest expiry a setting can hold",
                kExitUsage);
  }
  const std::string name = std::string(row.name) + "_DEBUGLEVEL";
  const std::string expiry = name + "_UNTIL";
  ZNPlatformInfo store(0, 0);
  if (level == 0) {  // the setting goes, and with it its expiry
    if (!duration.empty()) return Fail("--for applies to a level, not to the default", kExitUsage);
    store.deleteField(kSection, name.c_str());
    store.deleteField(kSection, expiry.c_str());
    std::cout << row.name << ": back to " << row.defaultDebugLevel << " (default)\n";
    return kExitOk;
  }
  const StoredLevel before = ReadLevel(store, name);
  if (store.setNumber(kSection, name.c_str(), static_cast<unsigned long>(level)) == 0) {
    return Fail("cannot write [" + name + "]: " + store.getLastErrorMsg());
  }
  std::cout << row.name << ": " << level;
  if (seconds > 0) {
    if (store.setNumber(kSection, expiry.c_str(), static_cast<unsigned long>(now + seconds)) == 0) {
      std::cout << "\n";
      return Fail("cannot write [" + expiry + "]: " + store.getLastErrorMsg());
    }
    std::cout << " until " << LocalTime(now + seconds) << "\n";
  } else if (before.level && before.until && static_cast<long long>(*before.until) > now) {
    std::cout << " until " << LocalTime(static_cast<long long>(*before.until))
              << ", the expiry of the level it replaces (--for sets another)\n";
  } else {
    // An expiry without its level, or one that has passed, would cut the
    // new level short: the revision gives it a fresh one.
    if (before.until) store.deleteField(kSection, expiry.c_str());
    std::cout << " for seven days from the next settings revision\n";
  }
  return kExitOk;
}

int Switch(const ZNLogFileInfo& row, bool off) {
  const std::string name = std::string(row.name) + "_TurnOffLogging";
  ZNPlatformInfo store(0, 0);
  if (off ? store.setNumber(kSection, name.c_str(), 1) == 0
          : store.deleteField(kSection, name.c_str()) == 0 && store.getRegError() != -3) {
    return Fail("cannot change [" + name + "]: " + store.getLastErrorMsg());
  }
  std::cout << row.name << ": logging " << (off ? "off" : "on")
            << " from the next start of its processes (a log switched off stays off while its process runs)\n";
  return kExitOk;
}

}  // namespace

const ZNLogFileInfo& KnownLog(const std::string& name) {
  const ZNLogFileInfo* row = zn::FindLogByName(name);
  if (row == nullptr) throw CommandError{kExitNotFound, "log [" + name + "] is not a log of this suite"};
  return *row;
}

void AddLogLevelCommands(CLI::App* log, std::vector<Handler>& handlers) {
  struct Arguments {
    std::string log, level, duration;
    bool json = false;
  };
  static Arguments a;

  CLI::App* level = log->add_subcommand("level", "Show or set a log's debug level in the store");
  level->add_option("log", a.log, "The log's name, e.g. zndemo")->required();
  level->add_option("level", a.level, "The new level: 1 and above, or 0 or \"default\" for the catalogue's");
  level->add_option("--for", a.duration, "Expire after this long: 90s, 15m, 2h, 7d (default: keep the expiry of the "
                                         "level it replaces, else seven days)");
  AddJsonFlag(level, a.json);
  handlers.push_back({level, [] {
                        const ZNLogFileInfo& row = KnownLog(a.log);
                        RequireInstance();
                        if (a.level.empty()) {
                          if (!a.duration.empty()) return Fail("--for needs a level to set", kExitUsage);
                          return ShowLevel(row, a.json);
                        }
                        return SetLevel(row, a.level, a.duration);
                      }});

  CLI::App* off = log->add_subcommand("off", "Switch a log off");
  off->add_option("log", a.log, "The log's name")->required();
  handlers.push_back({off, [] {
                        const ZNLogFileInfo& row = KnownLog(a.log);
                        RequireInstance();
                        return Switch(row, true);
                      }});
  CLI::App* on = log->add_subcommand("on", "Switch a log back on");
  on->add_option("log", a.log, "The log's name")->required();
  handlers.push_back({on, [] {
                        const ZNLogFileInfo& row = KnownLog(a.log);
                        RequireInstance();
                        return Switch(row, false);
                      }});
}

}  // namespace zn::admin
