#include "zn/logupkeep/LogVersionName.h"

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view WithoutLeadingZeros(std::string_view digits) {
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

enum class NameProblem { kNone, kNoParent, kNoUnderscore, kEmptyStamp, kNonNumeric, kBadEnding };

NameProblem CheckVersionName(std::string_view fileName, std::string_view parentBase, LogVersionName* version) {
  if (parentBase.empty() || !fileName.starts_with(parentBase)) return NameProblem::kNoParent;
  std::string_view rest = fileName.substr(parentBase.size());
  if (rest.empty() || rest.front() != '_') return NameProblem::kNoUnderscore;
  rest.remove_prefix(1);
  const std::size_t dot = rest.find('.');
  const std::string_view stamp = rest.substr(0, dot);
  if (stamp.empty()) return NameProblem::kEmptyStamp;
  std::size_t digits = 0;
  for (const char c : stamp) {
    if (IsDigit(c)) {
      ++digits;
    } else if (c != '_') {
      return NameProblem::kNonNumeric;
    }
  }
  const std::string_view ending = dot == std::string_view::npos ? std::string_view() : rest.substr(dot);
  if (ending != ".log" && ending != ".log.zip") return NameProblem::kBadEnding;
  if (version != nullptr) {
    version->stamp.assign(stamp);
    version->compressed = ending == ".log.zip";
    version->irregular = digits != kRegularStampDigits;
  }
  return NameProblem::kNone;
}

}  // namespace

CYqError ParseLogVersionName(std::string_view fileName, std::string_view parentBase, LogVersionName& version) {
  version = LogVersionName();
  switch (CheckVersionName(fileName, parentBase, &version)) {
    case NameProblem::kNone: return CYqError::Success();
    case NameProblem::kNoParent:
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorEmptyInput, "No parent file is found");
    case NameProblem::kNoUnderscore:
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "_ is not present in the timestamp");
    case NameProblem::kEmptyStamp:
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorEmptyInput, "Timestamp is empty");
    case NameProblem::kNonNumeric:
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound,
                                     "Non numeric character is present in the timestamp.");
    case NameProblem::kBadEnding: break;
  }
  return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound,
                                 "The version does not end in .log or .log.zip");
}

bool IsLogVersionName(std::string_view fileName, std::string_view parentBase) {
  return CheckVersionName(fileName, parentBase, nullptr) == NameProblem::kNone;
}

std::string_view VersionBaseOf(std::string_view fileName) {
  for (std::size_t underscore = fileName.find('_'); underscore != std::string_view::npos;
       underscore = fileName.find('_', underscore + 1)) {
    if (underscore == 0) continue;
    const std::string_view base = fileName.substr(0, underscore);
    if (IsLogVersionName(fileName, base)) return base;
  }
  return std::string_view();
}

std::string_view VersionNumberOf(std::string_view fileName) {
  const std::size_t underscore = fileName.rfind('_');
  if (underscore == std::string_view::npos) return std::string_view();
  std::string_view number = fileName.substr(underscore + 1);
  return number.substr(0, number.find('.'));
}

int CompareDigitStrings(std::string_view a, std::string_view b) {
  a = WithoutLeadingZeros(a);
  b = WithoutLeadingZeros(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

bool IsNewerVersionName(std::string_view a, std::string_view b) {
  const bool aHas = a.find('_') != std::string_view::npos;
  const bool bHas = b.find('_') != std::string_view::npos;
  if (!aHas && !bHas) return a > b;
  return CompareDigitStrings(VersionNumberOf(a), VersionNumberOf(b)) > 0;
}

}  // namespace zn
