// Expanding one compressed log version again.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/CYqError.h"

// Extracts `folder`/`file` (a ".zip") into `destination` and sets `result`
// to the expanded log: `destination` joined with the file's name without
// ".zip". Fails with 774 when no archiver is given, the name is empty or not
// a ".zip", or the archive does not hold that log; an extraction error is
// returned as the archiver gave it. The archive may expand to at most
// EventManager/"nMaxUncompressedLogSizeMB" megabytes (1024 when absent or
// 0); more fails with 223. Nothing is written outside `destination`.
ZN_EXPORT CYqError DeCompressLogFile(C7zip* archiver, const std::string& folder, const std::string& file,
                           const std::string& destination, std::string& result);
