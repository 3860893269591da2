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

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty() || &argument != &arguments.front()) line.push_back(' ');
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
      line += argument;
      continue;
    }
    line.push_back('"');
    std::size_t slashes = 0;
    for (const char c : argument) {
      if (c == '\\') {
        ++slashes;
        continue;
      }
      line.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
      slashes = 0;
      line.push_back(c);
    }
    line.append(slashes * 2, '\\');
    line.push_back('"');
  }
  return line;
}

std::string_view CommandTail(std::string_view command) {
  const std::size_t cut = command.find_last_of("\\/");
  return cut == std::string_view::npos ? command : command.substr(cut + 1);
}

}  // namespace zn::detail
