#include <string>
#include <string_view>

#include "zn/pathmatch/TPathMatch.h"

namespace {

// "\\server\share" becomes "\UNC-NT_server\share"; anything else stays.
std::string RewriteUnc(const char* text) {
  const std::string_view view = text != nullptr ? std::string_view(text) : std::string_view();
  if (view.size() >= 2 && view[0] == '\\' && view[1] == '\\') {
    return std::string("\\UNC-NT_").append(view.substr(2));
  }
  return std::string(view);
}

}  // namespace

int TPathMatchUnc::initialize(const char* pattern, bool wildcards, bool wildcardsInLastComponentOnly) {
  return TPathMatch::initialize(RewriteUnc(pattern).c_str(), wildcards, wildcardsInLastComponentOnly);
}

int TPathMatchUnc::match(const char* path) { return TPathMatch::match(RewriteUnc(path).c_str()); }
