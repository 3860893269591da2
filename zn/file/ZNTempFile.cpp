#include "zn/file/ZNTempFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "zn/config/ZNPI_Base.h"
#include "zn/file/internal/FileErrors.h"
#include "zn/util/ZNProcessId.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

std::string TemporaryFolder(const char* directory) {
  if (directory != nullptr && directory[0] != '\0') return directory;
  ZNPI_Base base;
  const char* configured = base.getOrvaneTempDirectory();
  if (configured != nullptr && configured[0] != '\0') return configured;
  const char* system = std::getenv("TMPDIR");
  return system != nullptr && system[0] != '\0' ? system : "/tmp";
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

int ZNTempFile::create(const char* directory, const char* prefix) {
  if (isOpen() || prefix == nullptr) {
    setLastError(-1);
    return -1;
  }
  if (std::string_view(prefix).find('/') != std::string_view::npos) {
    setLastError(static_cast<int>(yq::kErrorInvalidName));
    return -1;
  }
  if (!hasBuffers()) {
    setLastError(static_cast<int>(yq::kErrorNotEnoughMemory));
    return -1;
  }
  const std::string folder = TemporaryFolder(directory);

  ZNProcessId self;
  self.thisProcess();
  std::string id;
  if (self.getIdString(id) != 0 || id.empty()) {
    setLastError(kErrorNoProcessId);
    return -1;
  }
  std::replace(id.begin(), id.end(), '/', '_');
  const std::string base = FXPath::Append(folder, std::string(prefix) + "_" + id);

  for (int n = 0; n < kMaxTries; ++n) {
    const std::string name = base + "_" + std::to_string(n);
    if (name.size() > kMaxNameLength) {
      setLastError(static_cast<int>(yq::kErrorFilenameExcedRange));
      return -1;
    }
    const int error = tryOpen(name.c_str(), ZNFILE_CREATE_NEW, 0600);
    if (error == 0) {
      m_name = name;
      return 0;
    }
    if (error == EEXIST) continue;
    // Refused: the next number only when this name is someone else's file;
    // a folder we may not write to would refuse every number.
    if (error == EACCES && Exists(name)) continue;
    setLastError(static_cast<int>(zn::detail::FileErrorFromErrno(error, true)));
    debug(1, "create: %s failed, code %d\n", zn::detail::PrintableName(name).c_str(), getLastError());
    return -1;
  }
  setLastError(static_cast<int>(yq::kErrorFileExists));
  return -1;
}
