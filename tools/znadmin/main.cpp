// znadmin: the administrator's command line for a machine of the suite.
// Every command and group takes --help (printed to stdout); docs/znadmin.md
// and the man page describe them all, with the exit codes of ExitCodes.h.
// Messages go to stderr, results to stdout.

#include <stdlib.h>

#include <iostream>
#include <string>

#include "Admin.h"

namespace {

using namespace zn::admin;

constexpr const char* kExitCodeTable =
    "Exit codes: 0 ok, 1 failure, 2 usage (bad command line or value, no instance chosen),\n"
    "3 not found (key, log, file, folder, manager, task, pool, job), 4 value missing,\n"
    "5 refused (needs -r, --force or a yes).\n"
    "The instance: --instance, else $ZN_FOCUS, else the store's only instance.";

// "config get" for the command `command` of `app`.
std::string NameOf(const CLI::App* command, const CLI::App* app) {
  std::string name;
  for (const CLI::App* at = command; at != nullptr && at != app; at = at->get_parent()) {
    name = at->get_name() + (name.empty() ? "" : " " + name);
  }
  return name;
}

// The innermost command the parse got to, for a usage message.
const CLI::App* Deepest(const CLI::App* app) {
  for (const CLI::App* sub : app->get_subcommands()) return Deepest(sub);
  return app;
}

// What CLI11 reports as missing may be a word it did not know: a
// mistyped command or option. "unknown command [x]" or "unknown option
// [--x]"; empty when every word was taken.
std::string UnknownWord(const CLI::App* at) {
  for (const CLI::App* app = at; app != nullptr; app = app->get_parent()) {
    for (const std::string& word : app->remaining()) {
      if (word == "--") break;  // what follows is a command's, not ours
      if (word.size() > 1 && word[0] == '-') return "unknown option [" + word + "]";
      if (app == at && !at->get_subcommands({}).empty()) return "unknown command [" + word + "]";
    }
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Administration of a machine of the Tessaly suite", "znadmin"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("znadmin ") + ZN_VERSION);
  app.footer(kExitCodeTable);
  std::string store;
  std::string instance;
  app.add_option("--store", store, "The configuration store file (default: $ZN_CONFIG_STORE, else /var/lib/tessaly/config.db)");
  CLI::Option* instanceOption =
      app.add_option("--instance", instance, "The instance relative keys (~...) resolve to (default: $ZN_FOCUS, else the store's only instance)");
  std::vector<Handler> handlers;
  AddConfigCommands(app, handlers);
  AddFaultCommands(app, handlers);
  AddInfoCommands(app, handlers);
  AddJobCommands(app, handlers);
  AddLogCommands(app, handlers);
  AddMetricsCommands(app, handlers);
  AddNamingCommands(app, handlers);
  AddPathCommands(app, handlers);
  AddPoolCommands(app, handlers);
  AddProcCommands(app, handlers);
  AddShmCommands(app, handlers);
  AddStatusCommands(app, handlers);
  AddTaskCommands(app, handlers);
  AddTokenCommands(app, handlers);
  AddVersionCommands(app, handlers);

  KeepCommandLine(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --help-all, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const CLI::App* at = Deepest(&app);
    SetCommandName(NameOf(at, &app));
    const std::string help = "znadmin" + (CommandName().empty() ? "" : " " + CommandName()) + " --help";
    const std::string unknown = UnknownWord(at);
    if (!unknown.empty()) return Fail(unknown + " (" + help + " shows the usage)", kExitUsage);
    return Fail(std::string(e.what()) + " (" + help + " shows the usage)", kExitUsage);
  }
  if (!store.empty()) ::setenv("ZN_CONFIG_STORE", store.c_str(), 1);
  if (instanceOption->count() > 0) SetInstanceOption(instance);
  for (const Handler& handler : handlers) {
    if (!handler.command->parsed()) continue;
    SetCommandName(NameOf(handler.command, &app));
    try {
      return handler.run();
    } catch (const CommandError& error) {
      return Fail(error.message, error.code);
    } catch (const std::exception& error) {
      return Fail(error.what());
    }
  }
  return Fail("no command given", kExitUsage);
}
