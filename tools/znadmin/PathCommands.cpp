// znadmin path match PATTERN PATH...: how a file filter sees each path, so
// that an administrator can check a filter before a backup runs. For each
// path: match or not, and the component a directory walk would look for
// next.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Admin.h"
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
    return Fail("--delimiter and --escape take one character each", kExitUsage);
  }
  std::unique_ptr<TPathMatch> matcher =
      options.unc ? std::make_unique<TPathMatchUnc>() : std::make_unique<TPathMatch>();
  matcher->setDelimiter(options.delimiter[0]);
  matcher->setEscape(options.escape[0]);
  if (options.ignoreCase) matcher->caseInsensitive();
  if (matcher->initialize(options.pattern.c_str(), !options.literal, options.lastComponent) != 0) {
    const std::string shown = options.pattern.size() <= 100 ? options.pattern : options.pattern.substr(0, 60) + "...";
    return Fail("the pattern [" + shown + "] (" + std::to_string(options.pattern.size()) +
                " bytes) is refused: " + matcher->getErrorText());
  }
  Json results = Json::array();
  std::string text;
  for (const std::string& path : options.paths) {
    const bool matched = matcher->match(path.c_str()) == 1;
    std::string next;
    const TBasenameType type = matcher->getNextBasename(next);
    if (type == BASENAME_NONE) next.clear();
    results.push_back({{"path", path},
                       {"match", matched},
                       {"recursive", matcher->isRecursiveMatch()},
                       {"matchEverything", matcher->isMatchEverything()},
                       {"literal", matcher->isLiteralMatch()},
                       {"next", {{"type", static_cast<int>(type)}, {"kind", TypeName(type)}, {"text", next}}}});
    if (matched) {
      text += path + ": match";
      if (matcher->isMatchEverything()) {
        text += " (and everything below)";
      } else if (matcher->isRecursiveMatch()) {
        text += " (recursive)";
      }
      text += "\n";
    } else {
      text += path + ": no match, next component: " + NextText(type, next) + "\n";
    }
  }
  const Json data = {{"pattern", options.pattern}, {"results", results}};
  return Emit(options.json, data, [&] { std::cout << text; });
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
  AddJsonFlag(match, options.json);
  handlers.push_back({match, [] { return Match(options); }});
}

}  // namespace zn::admin
