// znadmin metrics: the metrics log that the collector's logging thread
// writes ("PerformanceMetrics" in the process log folder).
//
//   metrics tail [-n N] [-f] [--dir FOLDER]
//
// The last N lines (10 by default), taken from the newest older version as
// well when the current file holds fewer; -f then keeps printing new lines,
// across rollovers, until interrupted.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "FileFollow.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/LogVersions.h"

namespace zn::admin {
namespace {

constexpr const char* kMetricsLog = "PerformanceMetrics";

int Fail(const std::string& message, int code = kExitFailure) {
  std::cerr << "znadmin: " << message << "\n";
  return code;
}

// Adds the lines of `path` in front of `last`, keeping at most `count`.
void TakeLastLines(const std::string& path, std::size_t count, std::deque<std::string>& last) {
  std::ifstream in(path, std::ios::binary);
  std::deque<std::string> mine;
  for (std::string line; std::getline(in, line);) {
    mine.push_back(std::move(line));
    if (mine.size() > count) mine.pop_front();
  }
  while (!mine.empty() && last.size() < count) {
    last.push_front(std::move(mine.back()));
    mine.pop_back();
  }
}

int Tail(std::string folder, int lines, bool follow) {
  // Where the process log writes: the configured folder, else its fallback.
  if (folder.empty()) folder = EvDebug::getTempLogFilePath();
  const std::string path = FXPath::Append(folder, std::string(kMetricsLog) + ".log");
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (!follow) return Fail("no metrics log at [" + path + "]");
    std::cerr << "znadmin: waiting for [" << path << "]\n";
    FollowFile(path, 0, 0);
  }
  const auto count = static_cast<std::size_t>(lines);
  std::deque<std::string> last;
  TakeLastLines(path, count, last);
  if (last.size() < count) {
    for (const std::string& version : yq::ListLogVersions(folder, kMetricsLog)) {
      if (last.size() >= count) break;
      if (!version.ends_with(".log")) continue;  // compressed versions are not shown
      TakeLastLines(FXPath::Append(folder, version), count, last);
    }
  }
  for (const std::string& line : last) std::cout << line << "\n";
  std::cout << std::flush;
  if (follow) FollowFile(path, info.st_size, info.st_ino);
  return kExitOk;
}

}  // namespace

void AddMetricsCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* metrics = app.add_subcommand("metrics", "The performance metrics log");
  metrics->require_subcommand(1);
  struct Arguments {
    std::string folder;
    int lines = 10;
    bool follow = false;
  };
  static Arguments a;
  CLI::App* tail = metrics->add_subcommand("tail", "The last lines of the metrics log; -f follows it across rollovers");
  tail->add_option("-n", a.lines, "How many lines (10)")->check(CLI::NonNegativeNumber);
  tail->add_flag("-f", a.follow, "Keep printing new lines until interrupted");
  tail->add_option("--dir", a.folder, "The log folder (default: the process logs' folder of the store)");
  handlers.push_back({tail, [] { return Tail(a.folder, a.lines, a.follow); }});
}

}  // namespace zn::admin
