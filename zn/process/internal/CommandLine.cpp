#include "zn/process/internal/CommandLine.h"

namespace zn::detail {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string argument;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        std::size_t slashes = 0;
        while (i < n && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && line[i] == '"') {
          argument.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            argument.push_back('"');
            ++i;
          }
        } else {
          argument.append(slashes, '\\');
        }
        continue;
      }
      if (line[i] == '"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      argument.push_back(line[i++]);
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::string_view CommandTail(std::string_view command) {
  const std::size_t cut = command.find_last_of("\\/");
  return cut == std::string_view::npos ? command : command.substr(cut + 1);
}

}  // namespace zn::detail
