// znadmin: the administrator's command line for a machine of the suite.
//
//   znadmin [--store FILE] [--instance NAME] config <command> ...
//   znadmin [--store FILE] [--instance NAME] info [--json]
//   znadmin [--store FILE] [--instance NAME] jobs list|show JOBID [--json]
//   znadmin [--store FILE] [--instance NAME] log level|off|on|tail|prune|unzip ...
//   znadmin [--store FILE] [--instance NAME] pool show LOG [--pool NAME]
//   znadmin shm list|show NAME
//   znadmin [--store FILE] [--instance NAME] metrics tail [-n N] [-f]
//   znadmin version STRING
//
// Exit codes: 0 ok, 1 failure, 2 usage, 3 key missing, 4 value missing.
// Messages go to stderr.

#include <stdlib.h>

#include <string>

#include "Commands.h"
#include "znfocus/ZNPI_Focus.h"

int main(int argc, char** argv) {
  CLI::App app{"Administration of a machine of the Tessaly suite", "znadmin"};
  app.require_subcommand(1);
  std::string store;
  std::string instance;
  app.add_option("--store", store, "The configuration store file (default: $ZN_CONFIG_STORE)");
  app.add_option("--instance", instance, "The instance relative keys (~...) resolve to (default: $ZN_FOCUS)");
  std::vector<zn::admin::Handler> handlers;
  zn::admin::AddConfigCommands(app, handlers);
  zn::admin::AddInfoCommands(app, handlers);
  zn::admin::AddJobCommands(app, handlers);
  zn::admin::AddLogCommands(app, handlers);
  zn::admin::AddPoolCommands(app, handlers);
  zn::admin::AddShmCommands(app, handlers);
  zn::admin::AddMetricsCommands(app, handlers);
  zn::admin::AddTaskCommands(app, handlers);
  zn::admin::AddVersionCommands(app, handlers);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return zn::admin::kExitUsage;
  }
  if (!store.empty()) ::setenv("ZN_CONFIG_STORE", store.c_str(), 1);
  if (!instance.empty()) ZNPI_Focus::setFocus(instance.c_str());
  for (const zn::admin::Handler& handler : handlers) {
    if (handler.command->parsed()) return handler.run();
  }
  return zn::admin::kExitUsage;
}
