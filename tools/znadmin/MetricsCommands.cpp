// znadmin metrics tail: the metrics log that the collector's logging
// thread writes ("PerformanceMetrics" in the process log folder), with the
// options of `log tail`.

#include <string>

#include "Admin.h"
#include "LogTail.h"
#include "zn/log/EvDebug.h"

namespace zn::admin {

void AddMetricsCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* metrics = app.add_subcommand("metrics", "The performance metrics log");
  metrics->require_subcommand(1);
  struct Arguments {
    std::string folder;
    TailOptions tail;
  };
  static Arguments a;
  CLI::App* tail = metrics->add_subcommand("tail", "The last lines of the metrics log; -f follows it across rollovers");
  tail->add_option("--dir", a.folder, "The log folder (default: the process logs' folder of the store)");
  AddTailOptions(tail, a.tail);
  handlers.push_back({tail, [] {
                        std::string folder = a.folder;
                        if (folder.empty()) {
                          RequireInstance();
                          folder = EvDebug::getTempLogFilePath();  // where the process log writes
                        }
                        return TailLog(folder, "PerformanceMetrics", a.tail);
                      }});
}

}  // namespace zn::admin
