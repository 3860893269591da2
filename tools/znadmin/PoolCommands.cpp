// znadmin pool show LOG [--pool NAME]: the thread pools of a service, as
// the store sets their limits and as the service's log last reported them.
//
// A named pool writes "TPool [<name>]. Ser# [0|1] ..." lines (the second
// kind of pool "TPool [<name>]. Tot ...") to its process's log every
// monitor interval; this shows the last one of each.

#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>

#include "Commands.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/LogCatalogue.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXPath.h"

namespace zn::admin {
namespace {

int Fail(const std::string& message) {
  std::cerr << "znadmin: " << message << "\n";
  return kExitFailure;
}

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

std::string Setting(ZNPlatformInfo& store, const char* section, const std::string& name) {
  unsigned long value = 0;
  return store.getNumber(section, name.c_str(), &value) != 0 ? std::to_string(value) : "-";
}

int Show(const std::string& log, const std::string& only) {
  const ZNLogFileInfo* row = zn::FindLogByName(log);
  if (row == nullptr) return Fail("[" + log + "] is not a log of this suite");
  const std::string folder = zn::LogSettings::LogFilesDirectory();
  if (folder.empty()) return Fail("the log folder (EventManager/dEVLOGDIR) is not set");
  const std::string path = FXPath::Append(folder, std::string(row->name) + ".log");
  std::ifstream in(path);
  if (!in) return Fail("cannot open [" + path + "]");

  std::map<std::string, std::map<std::string, std::string>> last;  // pool -> serial -> line
  for (std::string line; std::getline(in, line);) {
    std::string pool, serial, text;
    if (ParseStatisticsLine(line, pool, serial, text) && (only.empty() || pool == only)) last[pool][serial] = text;
  }
  std::set<std::string> pools;
  for (const auto& entry : last) pools.insert(entry.first);
  if (!only.empty()) pools.insert(only);

  ZNPlatformInfo store(0, 0);
  std::cout << "monitor interval: " << Setting(store, "Base", "ThreadPoolMonitorIntervalSeconds")
            << " s, refresh interval: " << Setting(store, "Base", "ThreadPoolRefreshIntervalSeconds")
            << " s (- is the default: 600 and 60)\n";
  if (pools.empty()) {
    std::cout << "no pool statistics in [" << path << "]\n";
    return kExitOk;
  }
  for (const std::string& pool : pools) {
    std::cout << "pool " << pool << ": min " << Setting(store, "Znd", pool + "_MinThreads") << ", max "
              << Setting(store, "Znd", pool + "_MaxThreads") << ", timeout "
              << Setting(store, "Znd", pool + "_Timeout") << " s (store overrides; - is the program's own)\n";
    const auto found = last.find(pool);
    if (found == last.end()) {
      std::cout << "  no statistics line yet\n";
      continue;
    }
    for (const auto& [serial, text] : found->second) std::cout << "  " << text << "\n";
  }
  return kExitOk;
}

}  // namespace

void AddPoolCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* pool = app.add_subcommand("pool", "The thread pools of a service");
  pool->require_subcommand(1);
  struct Arguments {
    std::string log, pool;
  };
  static Arguments a;
  CLI::App* show = pool->add_subcommand("show", "Pool limits in the store and the last statistics in a log");
  show->add_option("log", a.log, "The service's log, e.g. zndemo")->required();
  show->add_option("--pool", a.pool, "Only this pool");
  handlers.push_back({show, [] { return Show(a.log, a.pool); }});
}

}  // namespace zn::admin
