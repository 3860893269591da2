#include "LiveState.h"

namespace zn::admin {

std::vector<zn::LiveStatusProcess> ReadLiveRecords() {
  std::vector<zn::LiveStatusProcess> processes;
  std::string error;
  if (!zn::ReadLiveStatus(processes, error)) throw CommandError{kExitFailure, "cannot read the live status: " + error};
  return processes;
}

bool IsLive(const zn::LiveStatusProcess& process) { return process.state != zn::LiveProcessState::kEnded; }

std::string ProcessLabel(const zn::LiveStatusProcess& process) {
  return (process.processName.empty() ? std::string("process") : process.processName) + " pid " +
         std::to_string(process.identity.pid) + ", as of " + LocalTime(process.updated) +
         (process.state == zn::LiveProcessState::kUnverified ? ", not verified (another user's process)" : "");
}

Json ProcessJson(const zn::LiveStatusProcess& process) {
  return {{"process", process.processName},
          {"pid", process.identity.pid},
          {"state", zn::LiveProcessStateName(process.state)},
          {"startedAt", process.identity.startedAt},
          {"updated", process.updated}};
}

Json PoolJson(const zn::LiveStatusPool& pool) {
  return {{"name", pool.name},
          {"minThreads", pool.minThreads},
          {"maxThreads", pool.maxThreads},
          {"timeoutSeconds", pool.timeoutSeconds},
          {"threads", pool.threads},
          {"busyThreads", pool.busyThreads},
          {"queued", pool.queued},
          {"ready", pool.ready},
          {"updated", pool.updated}};
}

Json TaskJson(const zn::LiveStatusTask& task) {
  return {{"name", task.name},         {"position", task.position}, {"enabled", task.enabled},
          {"frequency", task.frequency}, {"persistent", task.persistent}, {"started", task.started},
          {"running", task.running},   {"lastRun", task.lastRun},   {"nextRun", task.nextRun}};
}

void NoteEndedRecords(const std::vector<zn::LiveStatusProcess>& processes) {
  for (const zn::LiveStatusProcess& process : processes) {
    if (IsLive(process)) continue;
    Note("the record of " + process.processName + " pid " + std::to_string(process.identity.pid) +
         " is left from a process that has ended (the next service to start in this instance removes it)");
  }
}

}  // namespace zn::admin
