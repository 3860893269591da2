// znadmin faults: the error injection settings of the suite's programs.
//
//   faults list [NAME] [--json]     the names with injection settings
//   faults set NAME [PROBABILITY]   turn injection on for NAME
//   faults clear NAME               remove NAME's injection settings
//
// NAME is the name a component asks its context by. The values live in
// section "EventManager": "<NAME>_ErrorInjectionEnabled" and
// "<NAME>_ErrorInjectionProbability". A program reads them when it first
// asks for the context, usually at its start.

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Admin.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/error/CErrorInjector.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXString.h"

namespace zn::admin {
namespace {

constexpr const char* kSection = "EventManager";
constexpr std::string_view kEnabledSuffix = "_ErrorInjectionEnabled";
constexpr std::string_view kProbabilitySuffix = "_ErrorInjectionProbability";

bool EndsWithNoCase(const std::string& text, std::string_view suffix) {
  return text.size() > suffix.size() && FXString::EqualsNoCase(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

using Values = std::vector<std::pair<std::string, std::string>>;

std::optional<std::string> Find(const Values& values, const std::string& name) {
  for (const auto& [key, text] : values) {
    if (FXString::EqualsNoCase(key, name)) return text;
  }
  return std::nullopt;
}

// A name's settings as the program will take them.
struct Setting {
  bool on = false;
  double probability = CErrorInjector::kDefaultProbability;
  std::optional<std::string> stored;  // the stored probability text, if any
  bool storedValid = false;
};

Setting SettingOf(const Values& values, const std::string& name) {
  Setting setting;
  const std::string enabled = Find(values, name + std::string(kEnabledSuffix)).value_or("");
  setting.on = !enabled.empty() && enabled != "0";
  setting.stored = Find(values, name + std::string(kProbabilitySuffix));
  const std::optional<double> probability =
      setting.stored ? zn::ParseInjectionProbability(*setting.stored) : std::nullopt;
  setting.storedValid = probability.has_value();
  if (probability) setting.probability = *probability;
  return setting;
}

// "on, probability 0.05".
std::string Describe(const Setting& setting) {
  std::string text = setting.on ? "on" : "off";
  char number[32];
  std::snprintf(number, sizeof number, "%g", setting.probability);
  text += ", probability " + std::string(number);
  if (!setting.stored) text += " (the default)";
  if (setting.stored && !setting.storedValid) {
    text += " (the stored [" + *setting.stored + "] is not a probability: the default applies)";
  }
  return text;
}

std::string Describe(const Values& values, const std::string& name) { return Describe(SettingOf(values, name)); }

Values EventManagerValues() { return zn::LogSettings::Values(kSection).value_or(Values()); }

int List(const std::string& only, bool json) {
  const Values values = EventManagerValues();
  std::vector<std::pair<std::string, Setting>> shown;
  for (const auto& [key, text] : values) {
    if (!EndsWithNoCase(key, kEnabledSuffix)) continue;
    const std::string name = key.substr(0, key.size() - kEnabledSuffix.size());
    if (!only.empty() && !FXString::EqualsNoCase(name, only)) continue;
    shown.emplace_back(name, SettingOf(values, name));
  }
  if (shown.empty() && !only.empty()) return Fail("no error injection settings for [" + only + "]", kExitNotFound);
  Json data = Json::array();
  for (const auto& [name, setting] : shown) {
    data.push_back({{"name", name},
                    {"enabled", setting.on},
                    {"probability", setting.probability},
                    {"stored", setting.stored ? Json(*setting.stored) : Json(nullptr)}});
  }
  return Emit(json, data, [&] {
    for (const auto& [name, setting] : shown) std::cout << name << ": " << Describe(setting) << "\n";
  });
}

int Set(const std::string& name, const std::string& probability) {
  if (!probability.empty() && !zn::ParseInjectionProbability(probability)) {
    return Fail("[" + probability + "] is not a probability: write a number between 0 and 1 (both left out) with a "
                "point, e.g. 0.01",
                kExitUsage);
  }
  ZNPlatformInfo store(0, 0);
  const std::string enabled = name + std::string(kEnabledSuffix);
  if (store.setNumber(kSection, enabled.c_str(), 1) == 0) {
    return Fail("cannot write [" + enabled + "]: " + store.getLastErrorMsg());
  }
  if (!probability.empty()) {
    const std::string value = name + std::string(kProbabilitySuffix);
    if (store.setString(kSection, value.c_str(), probability) == 0) {
      return Fail("cannot write [" + value + "]: " + store.getLastErrorMsg());
    }
  }
  std::cout << name << ": " << Describe(EventManagerValues(), name)
            << " (taken when the program next asks for the context, usually at its next start)\n";
  return kExitOk;
}

int Clear(const std::string& name) {
  ZNPlatformInfo store(0, 0);
  for (const std::string_view suffix : {kEnabledSuffix, kProbabilitySuffix}) {
    const std::string value = name + std::string(suffix);
    if (store.deleteField(kSection, value.c_str()) == 0 && store.getRegError() != -3) {
      return Fail("cannot remove [" + value + "]: " + store.getLastErrorMsg());
    }
  }
  std::cout << name << ": error injection settings removed\n";
  return kExitOk;
}

// A name the store can hold as the front of a value name.
CLI::Validator ContextName() {
  return CLI::Validator(
      [](std::string& name) -> std::string {
        if (name.empty()) return "an empty name";
        if (name.find_first_of("\\/") != std::string::npos) return "a name with '\\' or '/' in it";
        return std::string();
      },
      "NAME");
}

}  // namespace

void AddFaultCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* faults = app.add_subcommand("faults", "The error injection settings of the suite's programs");
  faults->require_subcommand(1);
  struct Arguments {
    std::string name, probability;
    bool json = false;
  };
  static Arguments a;

  CLI::App* list = faults->add_subcommand("list", "The names with error injection settings");
  list->add_option("name", a.name, "Only this name");
  AddJsonFlag(list, a.json);
  handlers.push_back({list, [] { return List(a.name, a.json); }});

  CLI::App* set = faults->add_subcommand("set", "Turn error injection on for a name");
  set->add_option("name", a.name, "The name the component asks its context by")->required()->check(ContextName());
  set->add_option("probability", a.probability, "Chance of an injected error per check, e.g. 0.01 (default 0.001)");
  handlers.push_back({set, [] { return Set(a.name, a.probability); }});

  CLI::App* clear = faults->add_subcommand("clear", "Remove a name's error injection settings");
  clear->add_option("name", a.name, "The name")->required()->check(ContextName());
  handlers.push_back({clear, [] { return Clear(a.name); }});
}

}  // namespace zn::admin
