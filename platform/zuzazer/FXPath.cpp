#include "zuzazer/FXPath.h"

namespace FXPath {

std::string Append(std::string_view path, std::string_view part, int /*flags*/) {
  if (path.empty()) return std::string(part);
  if (part.empty()) return std::string(path);
  std::string result(path);
  while (result.size() > 1 && result.back() == kSeparator) result.pop_back();
  while (!part.empty() && part.front() == kSeparator) part.remove_prefix(1);
  if (result.back() != kSeparator) result.push_back(kSeparator);
  result.append(part);
  return result;
}

std::string GetFileName(std::string_view path) {
  while (path.size() > 1 && path.back() == kSeparator) path.remove_suffix(1);
  const auto slash = path.rfind(kSeparator);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string GetDirectory(std::string_view path) {
  while (path.size() > 1 && path.back() == kSeparator) path.remove_suffix(1);
  const auto slash = path.rfind(kSeparator);
  if (slash == std::string_view::npos) return std::string();
  // "a//b" is in "a": doubled separators belong to neither part.
  std::string_view directory = path.substr(0, slash + 1);
  while (directory.size() > 1 && directory.back() == kSeparator) directory.remove_suffix(1);
  return std::string(directory);
}

std::string WithTrailingSeparator(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != kSeparator) result.push_back(kSeparator);
  return result;
}

}  // namespace FXPath
