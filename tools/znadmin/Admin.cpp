#include "Admin.h"

#include <algorithm>
#include <cstdio>

#include <ctime>
#include <iostream>

namespace zn::admin {
namespace {

std::string& Command() {
  static std::string name;
  return name;
}

std::vector<std::string>& Words() {
  static std::vector<std::string> words;
  return words;
}

}  // namespace

void KeepCommandLine(int argc, char** argv) { Words().assign(argv, argv + argc); }

std::optional<std::vector<std::string>> WordsAfterDashes() {
  const auto dashes = std::find(Words().begin(), Words().end(), "--");
  if (dashes == Words().end()) return std::nullopt;
  return std::vector<std::string>(dashes + 1, Words().end());
}

void SetCommandName(std::string name) { Command() = std::move(name); }

const std::string& CommandName() { return Command(); }

int Fail(const std::string& message, int code) {
  std::cerr << "znadmin" << (Command().empty() ? "" : " " + Command()) << ": " << message << "\n";
  return code;
}

void Note(const std::string& message) {
  std::cerr << "znadmin" << (Command().empty() ? "" : " " + Command()) << ": " << message << "\n";
}

void AddJsonFlag(CLI::App* command, bool& json) {
  command->add_flag("--json", json, "Print one JSON document (for scripts) instead of text");
}

int Emit(bool json, const Json& data, const std::function<void()>& text) {
  if (json) {
    std::cout << data.dump(2, ' ', false, Json::error_handler_t::replace) << "\n" << std::flush;
  } else {
    text();
    std::cout << std::flush;
  }
  return kExitOk;
}

std::string CodeText(unsigned long code) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

std::string LocalTime(long long seconds) {
  if (seconds <= 0) return "-";
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[32] = "-";
  if (::localtime_r(&when, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace zn::admin
