// znadmin jobs: the job records of the machine's backup applications, as a
// monitor sees them, readable while jobs run. Each command reads one
// snapshot of the store, so every record shown is whole.

#include <cstdio>
#include <iostream>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "Admin.h"
#include "zn/store/ConfigStore.h"
#include "zn/config/ZNPI_Jobinfo.h"

namespace zn::admin {
namespace {

using zn::ConfigStore;
using zn::JobProcess;

// What the record says about its job: no job, a job whose process has
// detached, a job whose process runs, or one whose process died.
const char* JobState(const znpiAppInfo& app) {
  if (app.runningJobId == 0) return "idle";
  switch (zn::CheckJobProcess(app.runningJobPid, app.runningJobProcessName)) {
    case JobProcess::kNone: return "detached";
    case JobProcess::kAlive: return "running";
    case JobProcess::kGone: return "dead";
  }
  return "dead";
}

// The record's fields in order.
struct Field {
  const char* name;
  Json value;  // a number or a string
  std::string text() const { return value.is_string() ? value.get<std::string>() : value.dump(); }
};

std::vector<Field> Fields(const znpiAppInfo& a) {
  const auto n = [](auto value) { return Json(value); };
  return {
      {"appId", n(a.appId)},
      {"displayName", Json(a.displayName)},
      {"jobState", Json(JobState(a))},
      {"lastBackupStartTime", n(a.lastBackupStartTime)},
      {"lastSuccessfulBackupTime", n(a.lastSuccessfulBackupTime)},
      {"nextBackupTime", n(a.nextBackupTime)},
      {"phaseStartTime", n(a.phaseStartTime)},
      {"serverElapsedTime", n(a.serverElapsedTime)},
      {"backupJobState", n(a.backupJobState)},
      {"startedStatus", n(a.startedStatus)},
      {"noJobReason", n(a.noJobReason)},
      {"lastBackupSuccessFiles", n(a.lastBackupSuccessFiles)},
      {"lastBackupFailedFiles", n(a.lastBackupFailedFiles)},
      {"lastBackupBytes", n(a.lastBackupBytes)},
      {"lastBackupJobId", n(a.lastBackupJobId)},
      {"lastBackupJobStatus", n(a.lastBackupJobStatus)},
      {"runningJobId", n(a.runningJobId)},
      {"runningJobPid", n(a.runningJobPid)},
      {"runningJobProcessName", Json(a.runningJobProcessName)},
      {"perfctrJobPhase", n(a.perfctrJobPhase)},
      {"perfctrJobPerf", n(a.perfctrJobPerf)},
      {"perfctrPercent", n(a.perfctrPercent)},
      {"perfctrFilesCount", n(a.perfctrFilesCount)},
      {"perfctrFilesCountTot", n(a.perfctrFilesCountTot)},
      {"perfctrBytesCount", n(a.perfctrBytesCount)},
      {"perfctrBytesCountTot", n(a.perfctrBytesCountTot)},
      {"currFile", Json(a.currFile)},
  };
}

Json JsonObject(const std::vector<Field>& fields) {
  Json object = Json::object();
  for (const Field& field : fields) {
    object[field.name] = field.value;
  }
  return object;
}

// Every entry: the whole records, and the ids of those that cannot be read
// whole (written in part by a writer of another kind, or damaged). One
// snapshot, so the two lists agree.
struct Entries {
  std::list<znpiAppInfo> apps;
  std::vector<int> broken;
};

bool ReadEntries(ZNPI_Jobinfo& jobs, Entries& entries) {
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());
  std::list<int> ids;
  if (jobs.getAppList(ids) == 0) return false;
  if (jobs.getClientsInfo(entries.apps) != 0) return true;
  for (const int id : ids) {
    bool whole = false;
    for (const znpiAppInfo& app : entries.apps) whole = whole || app.appId == id;
    if (!whole) entries.broken.push_back(id);
  }
  Note(jobs.getLastErrorMsg());  // the first incomplete record's reason
  return true;
}

int List(bool json) {
  RequireInstance();
  ZNPI_Jobinfo jobs(0, 0);
  Entries entries;
  if (!ReadEntries(jobs, entries)) return Fail(jobs.getLastErrorMsg());
  if (json) {
    Json apps = Json::array();
    for (const znpiAppInfo& app : entries.apps) apps.push_back(JsonObject(Fields(app)));
    return Emit(true, {{"apps", apps}, {"incomplete", entries.broken}}, [] {});
  }
  char line[512];
  std::snprintf(line, sizeof line, "%-8s %-10s %-8s %-9s %-6s %-4s %-24s %s\n", "APP", "JOB", "PID", "STATE", "PHASE",
                "PCT", "FILES", "NAME");
  std::cout << line;
  for (const znpiAppInfo& app : entries.apps) {
    const std::string files = std::to_string(app.perfctrFilesCount) + "/" + std::to_string(app.perfctrFilesCountTot);
    std::snprintf(line, sizeof line, "%-8d %-10d %-8d %-9s %-6d %-4d %-24s %s\n", app.appId, app.runningJobId,
                  app.runningJobPid, JobState(app), app.perfctrJobPhase, app.perfctrPercent, files.c_str(),
                  app.displayName.c_str());
    std::cout << line;
  }
  for (const int id : entries.broken) {
    std::snprintf(line, sizeof line, "%-8d %-10s %-8s %-9s %s\n", id, "-", "-", "broken", "(incomplete record)");
    std::cout << line;
  }
  return kExitOk;
}

int Show(int jobId, bool json) {
  RequireInstance();
  ZNPI_Jobinfo jobs(0, 0);
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());
  int appId = 0;
  if (jobs.getAppIdFromJobId(jobId, appId) == 0) {
    return Fail("job [" + std::to_string(jobId) + "] is not the running or last job of any application (" +
                    jobs.getLastErrorMsg() + ")",
                kExitNotFound);
  }
  std::list<znpiAppInfo> apps;
  jobs.getClientsInfo(apps);
  const znpiAppInfo* record = nullptr;
  for (const znpiAppInfo& app : apps) {
    if (app.appId == appId) record = &app;
  }
  if (record == nullptr) return Fail("the record of application [" + std::to_string(appId) + "] (job [" + std::to_string(jobId) + "]) is incomplete");
  std::vector<Field> fields = Fields(*record);
  int phases = 0;
  if (jobs.getJobPhaseCnt(appId, phases) != 0) fields.push_back({"jobPhaseCnt", Json(phases)});
  std::vector<std::string> texts;
  std::string text;
  for (int index = 1; jobs.getNoJobReasonAddlInfo(appId, index, text) != 0; ++index) texts.push_back(text);
  if (json) {
    Json object = JsonObject(fields);
    object["noJobReasonAddlInfo"] = texts;
    return Emit(true, object, [] {});
  }
  for (const Field& field : fields) std::cout << field.name << ": " << field.text() << "\n";
  for (std::size_t i = 0; i < texts.size(); ++i) std::cout << "noJobReasonAddlInfo" << i + 1 << ": " << texts[i] << "\n";
  return kExitOk;
}

}  // namespace

void AddJobCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* jobs = app.add_subcommand("jobs", "The job records of the backup applications");
  jobs->require_subcommand(1);
  struct Arguments {
    int jobId = 0;
    bool json = false;
  };
  static Arguments a;

  CLI::App* list = jobs->add_subcommand("list", "One line per application: its job, process and progress");
  AddJsonFlag(list, a.json);
  handlers.push_back({list, [] { return List(a.json); }});

  CLI::App* show = jobs->add_subcommand("show", "Every field of the application running (or last running) a job");
  show->add_option("jobid", a.jobId, "The job id")->required();
  AddJsonFlag(show, a.json);
  handlers.push_back({show, [] { return Show(a.jobId, a.json); }});
}

}  // namespace zn::admin
