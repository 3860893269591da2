// The Win32 error numbers the library keeps in its results and messages,
// and the one mapping from errno to them (shared with the utility library).
#pragma once

#include <cstdint>

#include "zuzazer/YqWin32Errors.h"

namespace zn {

inline constexpr uint32_t kErrorSuccess = yq::kErrorSuccess;
inline constexpr uint32_t kErrorFileNotFound = yq::kErrorFileNotFound;        // 2
inline constexpr uint32_t kErrorPathNotFound = yq::kErrorPathNotFound;        // 3
inline constexpr uint32_t kErrorAccessDenied = yq::kErrorAccessDenied;        // 5
inline constexpr uint32_t kErrorInvalidHandle = yq::kErrorInvalidHandle;      // 6
inline constexpr uint32_t kErrorNotEnoughMemory = yq::kErrorNotEnoughMemory;  // 8
inline constexpr uint32_t kErrorLockViolation = yq::kErrorLockViolation;      // 33
inline constexpr uint32_t kErrorFileExists = yq::kErrorFileExists;            // 80
inline constexpr uint32_t kErrorInvalidParameter = yq::kErrorInvalidParameter;  // 87
inline constexpr uint32_t kErrorBufferOverflow = yq::kErrorBufferOverflow;    // 111
inline constexpr uint32_t kErrorInsufficientBuffer = yq::kErrorInsufficientBuffer;  // 122
inline constexpr uint32_t kErrorInvalidName = yq::kErrorInvalidName;          // 123
inline constexpr uint32_t kErrorBusy = yq::kErrorBusy;                        // 170
inline constexpr uint32_t kErrorFilenameExcedRange = yq::kErrorFilenameExcedRange;  // 206
inline constexpr uint32_t kErrorAlreadyExists = yq::kErrorAlreadyExists;      // 183
inline constexpr uint32_t kErrorMoreData = yq::kErrorMoreData;                // 234
inline constexpr uint32_t kErrorWaitTimeout = yq::kErrorWaitTimeout;          // 258
inline constexpr uint32_t kErrorNoMoreItems = yq::kErrorNoMoreItems;          // 259
inline constexpr uint32_t kErrorNotOwner = yq::kErrorNotOwner;                // 288
inline constexpr uint32_t kErrorTooManyPosts = yq::kErrorTooManyPosts;        // 298
inline constexpr uint32_t kErrorInvalidAddress = 487;
inline constexpr uint32_t kErrorAbandonedWait = yq::kErrorAbandonedWait;      // 735
inline constexpr uint32_t kErrorNothingFound = yq::kErrorNothingFound;        // 774
inline constexpr uint32_t kErrorEmptyInput = yq::kErrorEmptyInput;            // 4306

// errno to the Win32 number; see yq::Win32FromErrno.
inline uint32_t ErrorFromErrno(int errnum, bool isPath = false) { return yq::Win32FromErrno(errnum, isPath); }

}  // namespace zn
