// Turning a log version into its ".zip" without losing a byte.
//
// The archive is made complete under a temporary name and renamed into
// place before the version is removed. The version is held open throughout:
// when it turns out to have grown after it was read (a writer that still
// had it open at its rollover), its whole content is put back under its name
// and the archive is dropped, so the next run tries again.
#pragma once

#include <string>

#include "zuzazer/C7zip.h"
#include "zuzazer/CYqError.h"

namespace zn::detail {

enum class CompressFailure {
  kNone,
  kArchive,  // the archive could not be made; the version is untouched
  kRemove,   // the archive is made but the version could not be removed
  kChanged,  // the version changed meanwhile; it stays, the archive went
};

// Compresses `path` into `path` + ".zip" and removes `path`.
CYqError CompressLogVersion(C7zip& archiver, const std::string& path, CompressFailure& failure);

}  // namespace zn::detail
