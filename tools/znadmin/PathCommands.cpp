// znadmin path match PATTERN PATH...: how a file filter sees each path, so
// that an administrator can check a filter before a backup runs. For each
// path: match or not, and the component a directory walk would look for
// next.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "JsonText.h"
#include "zn/pathmatch/TPathMatch.h"

namespace zn::admin {
namespace {

struct PathOptions {
  std::string pattern;
  std::vector<std::string> paths;
  bool literal = false;
  bool lastComponent = false;
  bool ignoreCase = false;
  bool unc = false;
  std::string delimiter = "\\";
  std::string escape = "/";
  bool json = false;
};

const char* TypeName(TBasenameType type) {
  switch (type) {
    case BASENAME_WILDCARD: return "begins with";
    case BASENAME_LITERAL: return "literal";
    case BASENAME_ANY: return "any";
    case BASENAME_NONE: break;
  }
  return "none";
}

std::string NextText(TBasenameType type, const std::string& next) {
  switch (type) {
    case BASENAME_WILDCARD: return "[" + next + "]... (begins with)";
    case BASENAME_LITERAL: return "[" + next + "] (literal)";
    case BASENAME_ANY: return "any";
    case BASENAME_NONE: break;
  }
  return "none";
}

int Match(const PathOptions& options) {
  if (options.delimiter.size() != 1 || options.escape.size() != 1) {
    std::cerr << "znadmin: --delimiter and --escape take one character each\n";
    return kExitUsage;
  }
  std::unique_ptr<TPathMatch> matcher =
      options.unc ? std::make_unique<TPathMatchUnc>() : std::make_unique<TPathMatch>();
  matcher->setDelimiter(options.delimiter[0]);
  matcher->setEscape(options.escape[0]);
  if (options.ignoreCase) matcher->caseInsensitive();
  if (matcher->initialize(options.pattern.c_str(), !options.literal, options.lastComponent) != 0) {
    const std::string shown = options.pattern.size() <= 100 ? options.pattern : options.pattern.substr(0, 60) + "...";
    std::cerr << "znadmin: the pattern [" << shown << "] (" << options.pattern.size()
              << " bytes) is refused: " << matcher->getErrorText() << "\n";
    return kExitFailure;
  }
  if (options.json) std::cout << "{\"pattern\": " << JsonString(options.pattern) << ", \"results\": [";
  bool first = true;
  for (const std::string& path : options.paths) {
    const bool matched = matcher->match(path.c_str()) == 1;
    std::string next;
    const TBasenameType type = matcher->getNextBasename(next);
    if (type == BASENAME_NONE) next.clear();
    if (options.json) {
      std::cout << (first ? "" : ",") << "\n  {\"path\": " << JsonString(path)
                << ", \"match\": " << (matched ? "true" : "false")
                << ", \"recursive\": " << (matcher->isRecursiveMatch() ? "true" : "false")
                << ", \"matchEverything\": " << (matcher->isMatchEverything() ? "true" : "false")
                << ", \"literal\": " << (matcher->isLiteralMatch() ? "true" : "false")
                << ", \"next\": {\"type\": " << static_cast<int>(type) << ", \"kind\": " << JsonString(TypeName(type))
                << ", \"text\": " << JsonString(next) << "}}";
    } else if (matched) {
      std::cout << path << ": match";
      if (matcher->isMatchEverything()) {
        std::cout << " (and everything below)";
      } else if (matcher->isRecursiveMatch()) {
        std::cout << " (recursive)";
      }
      std::cout << "\n";
    } else {
      std::cout << path << ": no match, next component: " << NextText(type, next) << "\n";
    }
    first = false;
  }
  if (options.json) std::cout << (first ? "" : "\n") << "]}\n";
  return kExitOk;
}

}  // namespace

void AddPathCommands(CLI::App& app, std::vector<Handler>& handlers) {
  static PathOptions options;  // bound by the options, lives as long as the application
  CLI::App* path = app.add_subcommand("path", "Check file filter patterns against paths");
  path->require_subcommand(1);
  CLI::App* match = path->add_subcommand(
      "match", "Show, for each path, whether PATTERN matches it and which component a walk looks for next");
  match->add_option("pattern", options.pattern, "The filter, e.g. C:\\Data\\**\\*.doc")->required();
  match->add_option("paths", options.paths, "Paths to check")->required();
  match->add_flag("--literal", options.literal, "The pattern has no wildcards: it matches only itself");
  match->add_flag("--last-component", options.lastComponent, "Wildcards count only after the last delimiter");
  match->add_flag("-i,--ignore-case", options.ignoreCase, "Fold A to Z (ASCII only)");
  match->add_flag("--unc", options.unc, "Read \\\\server\\share names as the UNC matcher does");
  match->add_option("--delimiter", options.delimiter, "The path delimiter (default \\)");
  match->add_option("--escape", options.escape, "The escape character (default /)");
  match->add_flag("--json", options.json, "Print one JSON object, for scripts");
  handlers.push_back({match, [] { return Match(options); }});
}

}  // namespace zn::admin
