#include "zn/logupkeep/DeCompressLogFile.h"

#include <vector>

#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr const char* kLimitName = "nMaxUncompressedLogSizeMB";
constexpr unsigned long long kMegabyte = 1024ULL * 1024ULL;
constexpr long long kDefaultLimitMb = static_cast<long long>(C7zip::kDefaultExtractLimitBytes / kMegabyte);

}  // namespace

CYqError DeCompressLogFile(C7zip* archiver, const std::string& folder, const std::string& file,
                           const std::string& destination, std::string& result) {
  constexpr std::string_view kZip = ".zip";
  if (archiver == nullptr) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "7zip decompressor is not passed.");
  }
  if (file.empty()) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "Empty compressed file is passed.");
  }
  if (!file.ends_with(kZip)) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "%s is not in compressed format.",
                                   file.c_str());
  }
  // An archive may expand to far more than it takes: the store bounds it.
  long long limitMb = zn::LogSettings::NumberOr(zn::LogSettings::kEventManager, kLimitName,
                                                        kDefaultLimitMb);
  if (limitMb <= 0) limitMb = kDefaultLimitMb;
  archiver->SetExtractLimit(static_cast<unsigned long long>(limitMb) * kMegabyte);
  const std::string archive = FXPath::Append(folder, file);
  std::vector<std::string> extracted;
  CYqError error = archiver->ExtractFilesFromArchive(archive, destination, extracted);
  if (error.IsError() && error.GetErrorCode() == yq::kErrorFileTooLarge) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorFileTooLarge,
                                   "[%s] expands to more than %lld MB, the most a log may take (EventManager/%s)",
                                   archive.c_str(), limitMb, kLimitName);
  }
  if (error.IsError()) return error.Push(FX_CODE_LOCATION);

  const std::string name = FXPath::GetFileName(file);
  const std::string expected = FXPath::Append(destination, name.substr(0, name.size() - kZip.size()));
  FXFileInfo info;
  error = FXFile::GetInfo(expected, info);
  if (error.IsError()) {
    EvDebug().DebugLvl("DeCompressLogFile", 1,
                       "Could not locate the file [%s]. Probably uncompressing is failed, error=[%s]",
                       expected.c_str(), error.AsString().c_str());
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "Uncompressed file [%s] is not found.",
                                   expected.c_str());
  }
  result = expected;
  return CYqError::Success();
}
