// The parsed form of the suite's version strings ("7 SP24b", "11.32.5",
// "7.0.240.4", "SP24", "7 SP24 HPK12") and its display text.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

struct ZN_EXPORT ZnStdVersion {
  int release = 0;
  int servicePack = 0;
  int servicePackLetter = 0;  // 1 for "a", 2 for "b", ...; 0 for none
  int updateNumber = 0;       // the hot-fix pack
};

// Selects one field of a ZnStdVersion for GetInfoFromVersionStr. The gaps in
// the numbering are fields that no parser sets.
enum VersionFields : int {
  VersionRelease = 0,
  VersionServicePack = 2,
  VersionServicePackLetter = 3,
  VersionUpdateNumber = 8,
};

// Parses `text` into `version` (numbers as strtol with base 0 reads them,
// within 32 bits). False for an empty text or a dotted text of other than
// 3 or 4 parts; `version` is then left as it was.
ZN_EXPORT bool GetAllInfoFromVersionStr(const std::string& text, ZnStdVersion& version);

// The selected field of the parsed text; -1 when the text does not parse or
// `field` is not one of VersionFields.
ZN_EXPORT int GetInfoFromVersionStr(const std::string& text, VersionFields field);

// "<release>.<service pack><letter>.<update>": "11.32.5", "7.24b.0". The
// three numbers are always printed; a letter outside a..z is left out.
// Without a letter the text parses back into the same record.
ZN_EXPORT std::string FormatZnStdVersionString(const ZnStdVersion& version);

namespace zn::detail {

// strtol(text, nullptr, 0) as a 32-bit long would give it: clamped to the
// int range.
int VersionNumber(const std::string& text);

}  // namespace zn::detail
