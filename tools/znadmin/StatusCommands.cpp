// znadmin status: the processes of the instance that publish their live
// status, with their pools and task managers, as systemctl status shows
// a service.

#include <cstdio>
#include <iostream>

#include "LiveState.h"
#include "zn/pool/ZnThreadPool.h"

namespace zn::admin {
namespace {

std::string Timeout(unsigned long seconds) {
  return seconds == ZnThreadPool::kNoTimeout ? "none" : std::to_string(seconds) + " s";
}

int Status(bool json) {
  RequireInstance();
  const std::vector<zn::LiveStatusProcess> processes = ReadLiveRecords();
  Json list = Json::array();
  for (const zn::LiveStatusProcess& process : processes) {
    Json item = ProcessJson(process);
    item["pools"] = Json::array();
    for (const zn::LiveStatusPool& pool : process.pools) item["pools"].push_back(PoolJson(pool));
    item["managers"] = Json::array();
    for (const zn::LiveStatusTaskManager& manager : process.managers) {
      Json tasks = Json::array();
      for (const zn::LiveStatusTask& task : manager.tasks) tasks.push_back(TaskJson(task));
      item["managers"].push_back({{"name", manager.name},
                                  {"refreshSeconds", manager.refreshSeconds},
                                  {"updated", manager.updated},
                                  {"tasks", tasks}});
    }
    list.push_back(std::move(item));
  }
  return Emit(json, {{"instance", FocusedInstance()}, {"processes", list}}, [&] {
    if (processes.empty()) std::cout << "no process of instance [" << FocusedInstance() << "] publishes its status\n";
    for (const zn::LiveStatusProcess& process : processes) {
      std::cout << process.processName << "  pid " << process.identity.pid << "  "
                << zn::LiveProcessStateName(process.state) << "  since " << LocalTime(process.identity.startedAt)
                << "  updated " << LocalTime(process.updated) << "\n";
      if (!IsLive(process)) {
        std::cout << "  (left by a process that has ended; the next service to start in this instance removes it)\n";
        continue;
      }
      for (const zn::LiveStatusPool& pool : process.pools) {
        std::printf("  pool %s: %u threads (%u busy), min %u, max %u, timeout %s, %u queued (%u ready)\n",
                    pool.name.c_str(), pool.threads, pool.busyThreads, pool.minThreads, pool.maxThreads,
                    Timeout(pool.timeoutSeconds).c_str(), pool.queued, pool.ready);
      }
      for (const zn::LiveStatusTaskManager& manager : process.managers) {
        std::size_t on = 0;
        for (const zn::LiveStatusTask& task : manager.tasks) on += task.enabled ? 1 : 0;
        std::printf("  tasks %s: %zu tasks, %zu on, refreshed every %u s\n", manager.name.c_str(), manager.tasks.size(),
                    on, manager.refreshSeconds);
      }
    }
  });
}

}  // namespace

void AddStatusCommands(CLI::App& app, std::vector<Handler>& handlers) {
  static bool json = false;
  CLI::App* status = app.add_subcommand("status", "The running processes of the instance: their pools and tasks");
  AddJsonFlag(status, json);
  handlers.push_back({status, [] { return Status(json); }});
}

}  // namespace zn::admin
