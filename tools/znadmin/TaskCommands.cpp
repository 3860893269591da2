// znadmin tasks: the store settings a periodic task manager reads.
//
//   tasks list [MANAGER]                 the tasks' switches, frequencies and
//                                        last run times (every manager when
//                                        none is named)
//   tasks enable MANAGER TASK            "<TASK>_enable" = "1"
//   tasks disable MANAGER TASK           "<TASK>_enable" = "0"
//   tasks frequency MANAGER TASK [SECS]  show or set "<TASK>_frequency"
//
// Values are written without the "*" mark, as fresh settings: a running
// manager takes them over at its next refresh and marks them.

#include <charconv>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <list>
#include <map>
#include <set>
#include <string>

#include "Commands.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/task/PeriodicTaskSettings.h"

namespace zn::admin {
namespace {

using zn::PeriodicTaskSection;

int Fail(const std::string& message, int code = kExitFailure) {
  std::cerr << "znadmin: " << message << "\n";
  return code;
}

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string LocalTime(long long seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&when, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

bool ValidName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/") == std::string::npos;
}

int BadNames() { return Fail("manager and task names must be non-empty, without \\ or /", kExitUsage); }

// The tasks named by the values of a manager's key, in name order.
std::set<std::string> TasksOf(const std::map<std::string, std::string>& values) {
  std::set<std::string> tasks;
  for (const auto& [name, text] : values) {
    for (const std::string_view suffix :
         {zn::kFrequencySuffix, zn::kEnableSuffix, zn::kLastRunTimeSuffix}) {
      if (EndsWith(name, suffix)) tasks.insert(name.substr(0, name.size() - suffix.size()));
    }
  }
  return tasks;
}

std::string StoredText(const std::map<std::string, std::string>& values, const std::string& name) {
  const auto found = values.find(name);
  return found != values.end() ? found->second : "-";
}

// 0 on success; the key's absence is reported by the caller.
int ListManager(ZNPlatformInfo& store, const std::string& manager) {
  const std::string section = PeriodicTaskSection(manager);
  std::map<std::string, std::string> values;
  if (!store.getRegValues(("~" + section).c_str(), &values)) {
    if (store.getRegError() == -2) return Fail("no settings for manager [" + manager + "]", kExitKeyMissing);
    return Fail(store.getLastErrorMsg());
  }
  std::cout << manager << "\n";
  const std::set<std::string> tasks = TasksOf(values);
  if (tasks.empty()) {
    std::cout << "  no task settings\n";
    return kExitOk;
  }
  std::cout << "  " << std::left << std::setw(32) << "task" << std::setw(8) << "enable" << std::setw(11)
            << "frequency" << "last run\n";
  for (const std::string& task : tasks) {
    long long last = 0;
    const std::string lastName = task + std::string(zn::kLastRunTimeSuffix);
    const std::string lastRun = zn::ReadLastRunTime(store, section, lastName, last)
                                    ? (last > 0 ? LocalTime(last) : "never")
                                    : "-";
    std::cout << "  " << std::setw(32) << task << std::setw(8)
              << StoredText(values, task + std::string(zn::kEnableSuffix)) << std::setw(11)
              << StoredText(values, task + std::string(zn::kFrequencySuffix)) << lastRun << "\n";
  }
  return kExitOk;
}

int List(const std::string& manager) {
  ZNPlatformInfo store(0, 0);
  if (!manager.empty()) {
    const int code = ListManager(store, manager);
    if (code == kExitOk) std::cout << "(- is the program's default; * marks a value the program has taken over)\n";
    return code;
  }
  std::list<std::string> managers;
  if (!store.getSubKeys(std::string(zn::kPeriodicTasksSection).c_str(), &managers) || managers.empty()) {
    std::cout << "no periodic task settings in the store\n";
    return kExitOk;
  }
  for (const std::string& name : managers) {
    const int code = ListManager(store, name);
    if (code != kExitOk) return code;
  }
  std::cout << "(- is the program's default; * marks a value the program has taken over)\n";
  return kExitOk;
}

int Write(const std::string& manager, const std::string& task, std::string_view suffix, const std::string& text) {
  if (!ValidName(manager) || !ValidName(task)) return BadNames();
  ZNPlatformInfo store(0, 0);
  const std::string name = task + std::string(suffix);
  if (store.setString(PeriodicTaskSection(manager).c_str(), name.c_str(), text) == 0) {
    return Fail("cannot write [" + name + "]: " + store.getLastErrorMsg());
  }
  return kExitOk;
}

int Switch(const std::string& manager, const std::string& task, bool on) {
  const int code = Write(manager, task, zn::kEnableSuffix, on ? "1" : "0");
  if (code != kExitOk) return code;
  std::cout << manager << "/" << task << ": " << (on ? "enabled" : "disabled")
            << " at the next refresh of a running manager\n";
  return kExitOk;
}

int Frequency(const std::string& manager, const std::string& task, const std::string& seconds) {
  if (seconds.empty()) {
    if (!ValidName(manager) || !ValidName(task)) return BadNames();
    ZNPlatformInfo store(0, 0);
    std::string text;
    const std::string name = task + std::string(zn::kFrequencySuffix);
    if (store.getString(PeriodicTaskSection(manager).c_str(), name.c_str(), &text) == 0) {
      std::cout << manager << "/" << task << ": the program's default\n";
      return kExitOk;
    }
    const zn::TaskSettingText setting = zn::ParseTaskSetting(text);
    std::cout << manager << "/" << task << ": " << setting.value << " s"
              << (setting.fresh ? " (not yet taken over)" : "") << "\n";
    return kExitOk;
  }
  long value = 0;
  const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
  if (error != std::errc() || end != seconds.data() + seconds.size() || value <= 0 || value > 0x7FFFFFFF) {
    return Fail("[" + seconds + "] is not a number of seconds above 0", kExitUsage);
  }
  const int code = Write(manager, task, zn::kFrequencySuffix, std::to_string(value));
  if (code != kExitOk) return code;
  std::cout << manager << "/" << task << ": every " << value << " s from the next refresh of a running manager\n";
  return kExitOk;
}

}  // namespace

void AddTaskCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* tasks = app.add_subcommand("tasks", "The switches and frequencies of periodic tasks");
  tasks->require_subcommand(1);
  struct Arguments {
    std::string manager, task, seconds;
  };
  static Arguments a;

  CLI::App* list = tasks->add_subcommand("list", "The task settings of one manager, or of every one");
  list->add_option("manager", a.manager, "The manager's name");
  handlers.push_back({list, [] { return List(a.manager); }});

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
  handlers.push_back({frequency, [] { return Frequency(a.manager, a.task, a.seconds); }});
}

}  // namespace zn::admin
