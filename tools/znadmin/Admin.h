// What every znadmin command shares: its name in messages, one way to
// report a failure, the choice of the instance, and output as text or as
// JSON. A command follows these conventions:
//
//   - it reports failures with Fail(), which prints
//     "znadmin <command>: <message>" on stderr and gives the exit code
//     (ExitCodes.h); a message names the object ("key [...]", "log [...]");
//   - a command that reads or writes the instance's settings calls
//     RequireInstance() first (exit 2 with how to choose when there is no
//     choice);
//   - a listing or showing command has --json (AddJsonFlag) and prints
//     through Emit(): the same data as one JSON document, or as text.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "ExitCodes.h"

namespace zn::admin {

using Json = nlohmann::ordered_json;

// ---- Commands ----

// A command line's handler: runs when `command` was the one given.
struct Handler {
  CLI::App* command;
  std::function<int()> run;
};

void AddConfigCommands(CLI::App& app, std::vector<Handler>& handlers);
// "config password", below the config command.
void AddPasswordCommands(CLI::App& config, std::vector<Handler>& handlers);
void AddFaultCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddInfoCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddJobCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddLogCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddMetricsCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddNamingCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddPathCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddPoolCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddProcCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddShmCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddStatusCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddTaskCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddTokenCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddVersionCommands(CLI::App& app, std::vector<Handler>& handlers);

// ---- Messages ----

// The command being run as messages name it ("config get").
void SetCommandName(std::string name);
const std::string& CommandName();

// Prints "znadmin <command>: <message>" on stderr and returns `code`.
int Fail(const std::string& message, int code = kExitFailure);
// A remark that does not change the outcome, on stderr.
void Note(const std::string& message);
// A library result code as messages show it: "0x14000003".
std::string CodeText(unsigned long code);

// A failure found deep inside a command; main prints it as Fail() does.
struct CommandError {
  int code;
  std::string message;
};

// The command line as main() got it, and the words after its first "--"
// exactly as typed (nullopt when there is no "--").
void KeepCommandLine(int argc, char** argv);
std::optional<std::vector<std::string>> WordsAfterDashes();

// ---- The instance ----

// --instance of the command line; empty when not given.
void SetInstanceOption(std::string instance);
// Focuses the instance that relative keys (~...) resolve to: --instance,
// else $ZN_FOCUS, else the only instance of the store. Throws
// CommandError (exit 2) when none can be chosen, saying how to choose.
void RequireInstance();
// The same without failing: false when there is no single choice.
bool PreferInstance();
// The focused instance; empty when none.
std::string FocusedInstance();

// ---- Output ----

// "--json": print one JSON document instead of text.
void AddJsonFlag(CLI::App* command, bool& json);
// Prints `data` (two-space indented, one line end) when `json`, else
// calls `text`. Returns kExitOk.
int Emit(bool json, const Json& data, const std::function<void()>& text);
// A text as JSON keeps its bytes when they are UTF-8; others are
// replaced in the output (Emit never fails on them).
std::string LocalTime(long long secondsSince1970);  // "YYYY-MM-DD hh:mm:ss"; "-" for 0

}  // namespace zn::admin
