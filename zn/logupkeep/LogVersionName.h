// The names of a log's older versions as the pruner accepts them:
// "<base>_<stamp>.log", or "<base>_<stamp>.log.zip" once compressed, where
// the stamp holds only digits and "_" and ends at the first ".". The writer
// makes 14-digit stamps (YYYYMMDDhhmmss); other digit counts are accepted
// and flagged. Stamps are compared as the numbers their digits spell,
// whatever their length: 14 digits do not fit a 32-bit integer.
#pragma once

#include <string>
#include <string_view>

#include "zuzazer/CYqError.h"
#include "zn/base/ZnExport.h"

namespace zn {

inline constexpr std::size_t kRegularStampDigits = 14;

struct ZN_EXPORT LogVersionName {
  std::string stamp;        // between "<base>_" and the first "." after it
  bool compressed = false;  // ends in ".log.zip"
  bool irregular = false;   // a digit count other than 14
};

// Checks `fileName` as a version of the log whose base name is `parentBase`.
// Failures, with their exact texts:
//   4306 "No parent file is found": no base, or the name does not start
//        with it;
//   774 "_ is not present in the timestamp": the base is not followed by "_";
//   4306 "Timestamp is empty";
//   774 "Non numeric character is present in the timestamp.";
//   774 when the name does not end in ".log" or ".log.zip" after the stamp.
ZN_EXPORT CYqError ParseLogVersionName(std::string_view fileName, std::string_view parentBase, LogVersionName& version);

// The same test without building an error.
ZN_EXPORT bool IsLogVersionName(std::string_view fileName, std::string_view parentBase);

// The shortest base of which `fileName` is a valid version (the part before
// some "_"), or "" when there is none.
ZN_EXPORT std::string_view VersionBaseOf(std::string_view fileName);

// The digits between the last "_" of a name and the next "." ("" when the
// name has no "_").
ZN_EXPORT std::string_view VersionNumberOf(std::string_view fileName);

// Compares two digit strings as the numbers they spell: negative, 0 or
// positive. Leading zeros do not count; any length works.
ZN_EXPORT int CompareDigitStrings(std::string_view a, std::string_view b);

// Order of versions, newest first: by the number after the last "_"
// (descending); names without "_" on both sides by their text (descending).
ZN_EXPORT bool IsNewerVersionName(std::string_view a, std::string_view b);

}  // namespace zn
