// znadmin tasks: the periodic tasks of a service.
//
//   tasks list [MANAGER]                 every task of a running manager as
//                                        it publishes them (switch,
//                                        frequency, last and next run), else
//                                        the store's settings
//   tasks enable MANAGER TASK            "<TASK>_enable" = "1"
//   tasks disable MANAGER TASK           "<TASK>_enable" = "0"
//   tasks frequency MANAGER TASK [SECS]  show or set "<TASK>_frequency"
//
// Values are written without the "*" mark, as fresh settings: a running
// manager takes them over at its next refresh and marks them.

#include <charconv>
#include <cstdio>
#include <iostream>
#include <list>
#include <map>
#include <set>
#include <string>

#include "LiveState.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/task/PeriodicTaskSettings.h"
#include "zuzazer/FXString.h"

namespace zn::admin {
namespace {

using zn::PeriodicTaskSection;

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool ValidName(const std::string& name) { return !name.empty() && name.find_first_of("\\/") == std::string::npos; }

void CheckNames(const std::string& manager, const std::string& task) {
  if (!ValidName(manager) || !ValidName(task)) {
    throw CommandError{kExitUsage, "manager and task names must be non-empty, without \\ or /"};
  }
}

// ---- The store's settings ----

// A manager's stored values; false when it has no key.
bool StoredValues(ZNPlatformInfo& store, const std::string& manager, std::map<std::string, std::string>& values) {
  values.clear();
  if (store.getRegValues(("~" + PeriodicTaskSection(manager)).c_str(), &values)) return true;
  if (store.getRegError() == -2) return false;
  throw CommandError{kExitFailure, store.getLastErrorMsg()};
}

// The tasks named by the values of a manager's key, in name order.
std::set<std::string> StoredTasks(const std::map<std::string, std::string>& values) {
  std::set<std::string> tasks;
  for (const auto& [name, text] : values) {
    for (const std::string_view suffix : {zn::kFrequencySuffix, zn::kEnableSuffix, zn::kLastRunTimeSuffix}) {
      if (EndsWith(name, suffix)) tasks.insert(name.substr(0, name.size() - suffix.size()));
    }
  }
  return tasks;
}

// The stored text of a task's value; the store compares names without case.
std::optional<std::string> StoredText(const std::map<std::string, std::string>& values, const std::string& task,
                                      std::string_view suffix) {
  const std::string wanted = task + std::string(suffix);
  for (const auto& [name, text] : values) {
    if (FXString::EqualsNoCase(name, wanted)) return text;
  }
  return std::nullopt;
}

long long StoredLastRun(ZNPlatformInfo& store, const std::string& manager, const std::string& task) {
  long long last = -1;
  if (!zn::ReadLastRunTime(store, PeriodicTaskSection(manager), task + std::string(zn::kLastRunTimeSuffix), last)) {
    return -1;
  }
  return last;
}

Json StoredJson(ZNPlatformInfo& store, const std::string& manager, const std::map<std::string, std::string>& values,
                const std::string& task) {
  const auto text = [&](std::string_view suffix) {
    const auto found = StoredText(values, task, suffix);
    return found ? Json(*found) : Json(nullptr);
  };
  const long long last = StoredLastRun(store, manager, task);
  return {{"enable", text(zn::kEnableSuffix)},
          {"frequency", text(zn::kFrequencySuffix)},
          {"lastRunTime", last >= 0 ? Json(last) : Json(nullptr)}};
}

// ---- tasks list ----

struct ManagerView {
  std::string name;
  const zn::LiveStatusProcess* process = nullptr;  // null: the store's settings only
  const zn::LiveStatusTaskManager* live = nullptr;
  std::map<std::string, std::string> stored;
};

std::string State(const zn::LiveStatusTask& task) {
  if (!task.enabled) return task.started && task.running ? "stopping" : "off";
  if (!task.started) return "starting";
  return task.running ? "running" : "waiting";
}

std::string NextRun(const zn::LiveStatusTask& task, long long now) {
  if (task.nextRun == 0) return "-";
  return task.nextRun <= now ? "due" : LocalTime(task.nextRun);
}

// Stored values a running manager has not taken over yet (no "*").
std::string FreshSettings(const ManagerView& view) {
  std::string fresh;
  for (const auto& [name, text] : view.stored) {
    if (EndsWith(name, zn::kLastRunTimeSuffix) || text.empty() || text[0] == zn::kTakenOverMark) continue;
    if (!EndsWith(name, zn::kEnableSuffix) && !EndsWith(name, zn::kFrequencySuffix)) continue;
    fresh += (fresh.empty() ? "" : ", ") + name + "=" + text;
  }
  return fresh;
}

void PrintLive(const ManagerView& view) {
  const long long now = ::time(nullptr);
  std::cout << view.name << "  (live: " << ProcessLabel(*view.process) << ")\n";
  std::printf("  %-31s %-4s %-9s %-19s  %-19s  %s\n", "TASK", "ON", "EVERY", "LAST RUN", "NEXT RUN", "STATE");
  for (const zn::LiveStatusTask& task : view.live->tasks) {
    std::printf("  %-31s %-4s %-9s %-19s  %-19s  %s\n", task.name.c_str(), task.enabled ? "yes" : "no",
                (std::to_string(task.frequency) + " s").c_str(), LocalTime(task.lastRun).c_str(),
                NextRun(task, now).c_str(), State(task).c_str());
  }
  const std::string fresh = FreshSettings(view);
  if (!fresh.empty()) std::cout << "  stored, not yet taken over: " << fresh << "\n";
}

void PrintStored(ZNPlatformInfo& store, const ManagerView& view) {
  std::cout << view.name << "  (stored settings: no running manager of this name publishes its tasks)\n";
  const std::set<std::string> tasks = StoredTasks(view.stored);
  if (tasks.empty()) {
    std::cout << "  no task settings\n";
    return;
  }
  std::printf("  %-31s %-7s %-10s %s\n", "TASK", "ENABLE", "FREQUENCY", "LAST RUN");
  for (const std::string& task : tasks) {
    const long long last = StoredLastRun(store, view.name, task);
    std::printf("  %-31s %-7s %-10s %s\n", task.c_str(), StoredText(view.stored, task, zn::kEnableSuffix).value_or("-").c_str(),
                StoredText(view.stored, task, zn::kFrequencySuffix).value_or("-").c_str(),
                last < 0 ? "-" : last == 0 ? "never" : LocalTime(last).c_str());
  }
}

int List(const std::string& only, bool json) {
  RequireInstance();
  const std::vector<zn::LiveStatusProcess> processes = ReadLiveRecords();
  ZNPlatformInfo store(0, 0);
  std::vector<ManagerView> views;
  std::set<std::string> shown;  // upper-cased: the store's names have no case
  for (const zn::LiveStatusProcess& process : processes) {
    if (!IsLive(process)) continue;
    for (const zn::LiveStatusTaskManager& manager : process.managers) {
      if (!only.empty() && !FXString::EqualsNoCase(manager.name, only)) continue;
      ManagerView view{manager.name, &process, &manager, {}};
      StoredValues(store, manager.name, view.stored);
      shown.insert(FXString::ToUpper(manager.name));
      views.push_back(std::move(view));
    }
  }
  std::list<std::string> storedManagers;
  if (!only.empty()) {
    storedManagers.push_back(only);
  } else {
    store.getSubKeys(std::string(zn::kPeriodicTasksSection).c_str(), &storedManagers);
  }
  for (const std::string& name : storedManagers) {
    if (shown.count(FXString::ToUpper(name)) != 0) continue;
    ManagerView view{name, nullptr, nullptr, {}};
    if (!StoredValues(store, name, view.stored)) continue;
    views.push_back(std::move(view));
  }
  if (!only.empty() && views.empty()) {
    return Fail("task manager [" + only + "] neither runs nor has settings in the store", kExitNotFound);
  }
  NoteEndedRecords(processes);

  Json list = Json::array();
  for (const ManagerView& view : views) {
    Json tasks = Json::array();
    if (view.live != nullptr) {
      for (const zn::LiveStatusTask& task : view.live->tasks) {
        Json item = TaskJson(task);
        item["stored"] = StoredJson(store, view.name, view.stored, task.name);
        tasks.push_back(std::move(item));
      }
    } else {
      for (const std::string& task : StoredTasks(view.stored)) {
        tasks.push_back({{"name", task}, {"stored", StoredJson(store, view.name, view.stored, task)}});
      }
    }
    list.push_back({{"name", view.name},
                    {"source", view.live != nullptr ? "live" : "stored"},
                    {"process", view.process != nullptr ? ProcessJson(*view.process) : Json(nullptr)},
                    {"refreshSeconds", view.live != nullptr ? Json(view.live->refreshSeconds) : Json(nullptr)},
                    {"tasks", tasks}});
  }
  return Emit(json, {{"managers", list}}, [&] {
    if (views.empty()) std::cout << "no periodic task manager runs or has settings in the store\n";
    for (const ManagerView& view : views) {
      if (view.live != nullptr) {
        PrintLive(view);
      } else {
        PrintStored(store, view);
      }
    }
    if (!views.empty()) std::cout << "(- is the program's default; * marks a stored value the program has taken over)\n";
  });
}

// ---- enable, disable, frequency ----

// The running managers of this name, and whether one of them has the task.
struct LiveTask {
  bool managerRuns = false;
  const zn::LiveStatusTask* task = nullptr;
};

LiveTask FindLive(const std::vector<zn::LiveStatusProcess>& processes, const std::string& manager,
                  const std::string& task) {
  LiveTask found;
  for (const zn::LiveStatusProcess& process : processes) {
    if (!IsLive(process)) continue;
    for (const zn::LiveStatusTaskManager& live : process.managers) {
      if (!FXString::EqualsNoCase(live.name, manager)) continue;
      found.managerRuns = true;
      for (const zn::LiveStatusTask& item : live.tasks) {
        if (FXString::EqualsNoCase(item.name, task)) found.task = &item;
      }
    }
  }
  return found;
}

// A running manager knows its tasks: a name it does not have is a mistake.
void CheckTask(const LiveTask& live, const std::string& manager, const std::string& task) {
  if (live.managerRuns && live.task == nullptr) {
    throw CommandError{kExitNotFound, "task [" + task + "] is not a task of the running manager [" + manager + "]"};
  }
}

int Write(const std::string& manager, const std::string& task, std::string_view suffix, const std::string& text) {
  ZNPlatformInfo store(0, 0);
  const std::string name = task + std::string(suffix);
  if (store.setString(PeriodicTaskSection(manager).c_str(), name.c_str(), text) == 0) {
    return Fail("cannot write [" + name + "]: " + store.getLastErrorMsg());
  }
  return kExitOk;
}

const char* WhenItApplies(const LiveTask& live) {
  return live.managerRuns ? " at the next refresh of the running manager" : " when the manager next starts (it does not run)";
}

int Switch(const std::string& manager, const std::string& task, bool on) {
  CheckNames(manager, task);
  RequireInstance();
  const LiveTask live = FindLive(ReadLiveRecords(), manager, task);
  CheckTask(live, manager, task);
  const int code = Write(manager, task, zn::kEnableSuffix, on ? "1" : "0");
  if (code != kExitOk) return code;
  std::cout << manager << "/" << task << ": " << (on ? "enabled" : "disabled") << WhenItApplies(live) << "\n";
  return kExitOk;
}

int ShowFrequency(const std::string& manager, const std::string& task, bool json) {
  const std::vector<zn::LiveStatusProcess> processes = ReadLiveRecords();
  const LiveTask live = FindLive(processes, manager, task);
  CheckTask(live, manager, task);
  ZNPlatformInfo store(0, 0);
  std::string text;
  const std::string name = task + std::string(zn::kFrequencySuffix);
  const bool stored = store.getString(PeriodicTaskSection(manager).c_str(), name.c_str(), &text) != 0;
  const zn::TaskSettingText setting = zn::ParseTaskSetting(text);
  Json data = {{"manager", manager},
               {"task", task},
               {"live", live.task != nullptr ? Json(live.task->frequency) : Json(nullptr)},
               {"stored", stored ? Json(setting.value) : Json(nullptr)},
               {"takenOver", stored ? Json(!setting.fresh) : Json(nullptr)}};
  return Emit(json, data, [&] {
    std::cout << manager << "/" << task << ": ";
    if (live.task != nullptr) std::cout << live.task->frequency << " s (running)" << (stored ? "; stored: " : "\n");
    if (!stored) {
      if (live.task == nullptr) std::cout << "the program's default\n";
      return;
    }
    std::cout << setting.value << " s" << (setting.fresh ? " (not yet taken over)" : "") << "\n";
  });
}

int Frequency(const std::string& manager, const std::string& task, const std::string& seconds, bool json) {
  CheckNames(manager, task);
  long value = 0;
  if (!seconds.empty()) {
    const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
    if (error != std::errc() || end != seconds.data() + seconds.size() || value <= 0 || value > 0x7FFFFFFF) {
      return Fail("[" + seconds + "] is not a number of seconds above 0", kExitUsage);
    }
  }
  RequireInstance();
  if (seconds.empty()) return ShowFrequency(manager, task, json);
  const LiveTask live = FindLive(ReadLiveRecords(), manager, task);
  CheckTask(live, manager, task);
  const int code = Write(manager, task, zn::kFrequencySuffix, std::to_string(value));
  if (code != kExitOk) return code;
  std::cout << manager << "/" << task << ": every " << value << " s" << WhenItApplies(live) << "\n";
  return kExitOk;
}

}  // namespace

void AddTaskCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* tasks = app.add_subcommand("tasks", "The periodic tasks of a service: live, else as stored");
  tasks->require_subcommand(1);
  struct Arguments {
    std::string manager, task, seconds;
    bool json = false;
  };
  static Arguments a;

  CLI::App* list = tasks->add_subcommand("list", "The tasks of one manager, or of every one");
  list->add_option("manager", a.manager, "The manager's name");
  AddJsonFlag(list, a.json);
  handlers.push_back({list, [] { return List(a.manager, a.json); }});

  CLI::App* enable = tasks->add_subcommand("enable", "Switch a task on");
  enable->add_option("manager", a.manager, "The manager's name")->required();
  enable->add_option("task", a.task, "The task's name")->required();
  handlers.push_back({enable, [] { return Switch(a.manager, a.task, true); }});

  CLI::App* disable = tasks->add_subcommand("disable", "Switch a task off");
  disable->add_option("manager", a.manager, "The manager's name")->required();
  disable->add_option("task", a.task, "The task's name")->required();
  handlers.push_back({disable, [] { return Switch(a.manager, a.task, false); }});

  CLI::App* frequency = tasks->add_subcommand("frequency", "Show or set the seconds between a task's runs");
  frequency->add_option("manager", a.manager, "The manager's name")->required();
  frequency->add_option("task", a.task, "The task's name")->required();
  frequency->add_option("seconds", a.seconds, "The new frequency in seconds");
  AddJsonFlag(frequency, a.json);
  handlers.push_back({frequency, [] { return Frequency(a.manager, a.task, a.seconds, a.json); }});
}

}  // namespace zn::admin
