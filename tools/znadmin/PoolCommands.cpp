// znadmin pool show [POOL] [--log LOG]: the thread pools of the running
// services as they publish them at each refresh of the pool monitor; for a
// pool no running process publishes, the last statistics lines its log
// holds ("TPool [<name>]. Ser# [0|1] ...", of the second kind of pool
// "TPool [<name>]. Tot ..."), said to be logged.

#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "LiveState.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/LogCatalogue.h"
#include "zn/log/LogSettings.h"
#include "zn/pool/ZnThreadPool.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXString.h"

namespace zn::admin {
namespace {

// The pool named in a statistics line: "TPool [<name>]. Ser# [<n>] ..." of
// a ZnThreadPool, "TPool [<name>]. Tot [..." of a ZnThreadPool2 (whose
// serial is left empty).
bool ParseStatisticsLine(const std::string& line, std::string& pool, std::string& serial, std::string& text) {
  const auto start = line.find("TPool [");
  if (start == std::string::npos) return false;
  const auto nameEnd = line.find("]. Ser# [", start);
  const auto secondEnd = line.find("]. Tot [", start);
  if (nameEnd == std::string::npos) {
    if (secondEnd == std::string::npos) return false;
    pool = line.substr(start + 7, secondEnd - start - 7);
    serial.clear();
    text = line.substr(start);
    return true;
  }
  pool = line.substr(start + 7, nameEnd - start - 7);
  const auto serialStart = nameEnd + 9;
  const auto serialEnd = line.find(']', serialStart);
  if (serialEnd == std::string::npos) return false;
  serial = line.substr(serialStart, serialEnd - serialStart);
  text = line.substr(start);
  return true;
}

Json Setting(ZNPlatformInfo& store, const char* section, const std::string& name) {
  unsigned long value = 0;
  return store.getNumber(section, name.c_str(), &value) != 0 ? Json(value) : Json(nullptr);
}

std::string Shown(const Json& value) { return value.is_null() ? "-" : value.dump(); }

// The store's overrides of a pool's limits (section Znd).
Json Overrides(ZNPlatformInfo& store, const std::string& pool) {
  return {{"minThreads", Setting(store, "Znd", pool + "_MinThreads")},
          {"maxThreads", Setting(store, "Znd", pool + "_MaxThreads")},
          {"timeoutSeconds", Setting(store, "Znd", pool + "_Timeout")}};
}

std::string Timeout(unsigned long seconds) {
  return seconds == ZnThreadPool::kNoTimeout ? "none" : std::to_string(seconds) + " s";
}

// pool -> serial block -> its last line in the log.
using LoggedLines = std::map<std::string, std::map<std::string, std::string>>;

bool ReadLogged(const std::string& log, const std::string& only, std::string& path, LoggedLines& lines) {
  const std::string folder = zn::LogSettings::LogFilesDirectory();
  if (folder.empty()) return false;
  path = FXPath::Append(folder, log + ".log");
  std::ifstream in(path);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    std::string pool, serial, text;
    if (ParseStatisticsLine(line, pool, serial, text) && (only.empty() || pool == only)) lines[pool][serial] = text;
  }
  return true;
}

int Show(const std::string& only, std::string log, bool json) {
  RequireInstance();
  const std::vector<zn::LiveStatusProcess> processes = ReadLiveRecords();
  ZNPlatformInfo store(0, 0);
  Json pools = Json::array();
  for (const zn::LiveStatusProcess& process : processes) {
    if (!IsLive(process)) continue;
    for (const zn::LiveStatusPool& pool : process.pools) {
      if (!only.empty() && pool.name != only) continue;
      Json item = PoolJson(pool);
      item["source"] = "live";
      item["process"] = ProcessJson(process);
      item["store"] = Overrides(store, pool.name);
      pools.push_back(std::move(item));
    }
  }
  NoteEndedRecords(processes);

  // Nothing running: what the log last said.
  std::string path;
  LoggedLines logged;
  if (pools.empty()) {
    if (log.empty() && !only.empty() && zn::FindLogByName(only) != nullptr) log = zn::FindLogByName(only)->name;
    if (log.empty()) {
      return Fail(only.empty() ? "no running process publishes a pool; --log LOG shows the last statistics of a log"
                               : "no running process publishes pool [" + only + "]; --log LOG names the log to read",
                  kExitNotFound);
    }
    if (zn::FindLogByName(log) == nullptr) return Fail("log [" + log + "] is not a log of this suite", kExitNotFound);
    if (!ReadLogged(zn::FindLogByName(log)->name, only, path, logged)) {
      return Fail("no running process publishes " + (only.empty() ? "a pool" : "pool [" + only + "]") +
                      ", and its log [" + (path.empty() ? log : path) + "] cannot be read",
                  kExitNotFound);
    }
    for (const auto& [pool, blocks] : logged) {
      Json lines = Json::array();
      for (const auto& [serial, text] : blocks) lines.push_back(text);
      pools.push_back({{"name", pool}, {"source", "logged"}, {"log", path}, {"lines", lines}, {"store", Overrides(store, pool)}});
    }
    if (pools.empty() && !only.empty()) {
      pools.push_back({{"name", only}, {"source", "logged"}, {"log", path}, {"lines", Json::array()}, {"store", Overrides(store, only)}});
    }
  }
  const Json monitor = Setting(store, "Base", "ThreadPoolMonitorIntervalSeconds");
  const Json refresh = Setting(store, "Base", "ThreadPoolRefreshIntervalSeconds");
  Json data = {{"monitorIntervalSeconds", monitor.is_null() ? Json(600) : monitor},
               {"refreshIntervalSeconds", refresh.is_null() ? Json(60) : refresh},
               {"pools", pools}};
  return Emit(json, data, [&] {
    std::cout << "monitor interval " << data["monitorIntervalSeconds"].dump() << " s, refresh interval "
              << data["refreshIntervalSeconds"].dump() << " s\n";
    for (const Json& pool : pools) {
      const std::string name = pool["name"];
      const Json& overrides = pool["store"];
      if (pool["source"] == "live") {
        std::cout << "pool " << name << "  (live: " << pool["process"]["process"].get<std::string>() << " pid "
                  << pool["process"]["pid"].dump() << ", as of " << LocalTime(pool["updated"].get<long long>()) << ")\n"
                  << "  threads " << pool["threads"].dump() << " (" << pool["busyThreads"].dump() << " busy), min "
                  << pool["minThreads"].dump() << ", max " << pool["maxThreads"].dump() << ", timeout "
                  << Timeout(pool["timeoutSeconds"].get<unsigned long>()) << "\n"
                  << "  queued " << pool["queued"].dump() << " (" << pool["ready"].dump() << " ready to start)\n";
      } else {
        std::cout << "pool " << name << "  (logged: no running process publishes it; the last statistics in ["
                  << path << "])\n";
        if (pool["lines"].empty()) std::cout << "  no statistics line\n";
        for (const Json& line : pool["lines"]) std::cout << "  " << line.get<std::string>() << "\n";
      }
      std::cout << "  store overrides: min " << Shown(overrides["minThreads"]) << ", max "
                << Shown(overrides["maxThreads"]) << ", timeout " << Shown(overrides["timeoutSeconds"])
                << " (- is the program's own)\n";
    }
  });
}

}  // namespace

void AddPoolCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* pool = app.add_subcommand("pool", "The thread pools of the services: live, else as logged");
  pool->require_subcommand(1);
  struct Arguments {
    std::string pool, log;
    bool json = false;
  };
  static Arguments a;
  CLI::App* show = pool->add_subcommand("show", "The pools of running services; else the last statistics of a log");
  show->add_option("pool", a.pool, "Only this pool (its log too, when no process runs it and --log is not given)");
  show->add_option("--log", a.log, "The log to read when no running process publishes the pool");
  AddJsonFlag(show, a.json);
  handlers.push_back({show, [] { return Show(a.pool, a.log, a.json); }});
}

}  // namespace zn::admin
