// Win32 error numbers that the suite keeps in its results and messages, and
// the one mapping from errno to them.
#pragma once

#include <cstdint>
#include <string>

#include "zuzazer/YqExport.h"

namespace yq {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorBadFormat = 11;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorWriteProtect = 19;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorLockViolation = 33;
inline constexpr uint32_t kErrorHandleEof = 38;
inline constexpr uint32_t kErrorHandleDiskFull = 39;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorBufferOverflow = 111;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorModNotFound = 126;
inline constexpr uint32_t kErrorProcNotFound = 127;
inline constexpr uint32_t kErrorSeekOnDevice = 132;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorBusy = 170;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorFilenameExcedRange = 206;
inline constexpr uint32_t kErrorFileTooLarge = 223;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorWaitTimeout = 258;
inline constexpr uint32_t kErrorNoMoreItems = 259;
inline constexpr uint32_t kErrorNotOwner = 288;
inline constexpr uint32_t kErrorTooManyPosts = 298;
inline constexpr uint32_t kErrorAbandonedWait = 735;
inline constexpr uint32_t kErrorInvalidFlags = 1004;
inline constexpr uint32_t kErrorNoUnicodeTranslation = 1113;
inline constexpr uint32_t kErrorIoDevice = 1117;
inline constexpr uint32_t kErrorNotFound = 1168;
inline constexpr uint32_t kErrorCancelled = 1223;
inline constexpr uint32_t kErrorPrivilegeNotHeld = 1314;
inline constexpr uint32_t kErrorTimeout = 1460;
inline constexpr uint32_t kErrorInvalidState = 5023;
// The two numbers the log and its maintenance use for "nothing there" (an
// unknown log id, a missing file) and for "nothing to work on" (an empty
// path, no files).
inline constexpr uint32_t kErrorNothingFound = 774;
inline constexpr uint32_t kErrorEmptyInput = 4306;

// Maps an errno value to the Win32 number the suite reports. `isPath` picks
// 3 (path not found) over 2 (file not found) for ENOENT/ENOTDIR on a folder.
YQ_EXPORT uint32_t Win32FromErrno(int errnum, bool isPath = false);

// The text the suite shows for a Win32 number; a generic text for numbers
// that have none of their own.
YQ_EXPORT std::string Win32ErrorText(uint32_t code);

// strerror_r in its GNU form, as a string.
YQ_EXPORT std::string ErrnoText(int errnum);

}  // namespace yq
