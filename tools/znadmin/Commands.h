// znadmin's command groups. Each adds its subcommands to the application
// and registers the handler that runs when that subcommand was given.
#pragma once

#include <functional>
#include <vector>

#include <CLI/CLI.hpp>

namespace zn::admin {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitKeyMissing = 3;
inline constexpr int kExitValueMissing = 4;

struct Handler {
  CLI::App* command;
  std::function<int()> run;
};

void AddConfigCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddInfoCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddLogCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddPoolCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddShmCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddJobCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddMetricsCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddTaskCommands(CLI::App& app, std::vector<Handler>& handlers);
void AddVersionCommands(CLI::App& app, std::vector<Handler>& handlers);

}  // namespace zn::admin
