#include "zuzazer/YqWin32Errors.h"

#include <cerrno>
#include <cstring>

namespace yq {

uint32_t Win32FromErrno(int errnum, bool isPath) {
  switch (errnum) {
    case 0: return kErrorSuccess;
    case ENOENT: return isPath ? kErrorPathNotFound : kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;  // opening a folder as a file
    case ENOEXEC: return kErrorBadFormat;  // a program the loader cannot run
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EROFS: return kErrorWriteProtect;
    case EAGAIN: return kErrorLockViolation;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EEXIST: return kErrorAlreadyExists;
    case EINVAL: return kErrorInvalidParameter;
    case EPIPE: return kErrorBrokenPipe;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EBUSY: return kErrorBusy;
    case ETIMEDOUT: return kErrorTimeout;
    case ENOTSUP: return kErrorNotSupported;
    case ECANCELED: return kErrorCancelled;
    case EILSEQ: return kErrorInvalidData;
    case EFBIG: return kErrorFileTooLarge;
    case ESPIPE: return kErrorSeekOnDevice;
    case EIO: return kErrorIoDevice;
    default: return kErrorInvalidFunction;
  }
}

std::string Win32ErrorText(uint32_t code) {
  switch (code) {
    case kErrorSuccess: return "The operation completed successfully.";
    case kErrorInvalidFunction: return "Incorrect function.";
    case kErrorFileNotFound: return "The system cannot find the file specified.";
    case kErrorPathNotFound: return "The system cannot find the path specified.";
    case kErrorTooManyOpenFiles: return "The system cannot open the file.";
    case kErrorAccessDenied: return "Access is denied.";
    case kErrorInvalidHandle: return "The handle is invalid.";
    case kErrorNotEnoughMemory: return "Not enough memory resources are available to process this command.";
    case kErrorBadFormat: return "An attempt was made to load a program with an incorrect format.";
    case kErrorInvalidData: return "The data is invalid.";
    case kErrorWriteProtect: return "The media is write protected.";
    case kErrorLockViolation: return "The process cannot access the file because another process has locked a portion of the file.";
    case kErrorHandleEof: return "Reached the end of the file.";
    case kErrorNotSupported: return "The request is not supported.";
    case kErrorFileExists: return "The file exists.";
    case kErrorInvalidParameter: return "The parameter is incorrect.";
    case kErrorBrokenPipe: return "The pipe has been ended.";
    case kErrorBufferOverflow: return "The file name is too long.";
    case kErrorDiskFull: return "There is not enough space on the disk.";
    case kErrorInsufficientBuffer: return "The data area passed to a system call is too small.";
    case kErrorInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
    case kErrorModNotFound: return "The specified module could not be found.";
    case kErrorProcNotFound: return "The specified procedure could not be found.";
    case kErrorSeekOnDevice: return "The file pointer cannot be set on the specified device or file.";
    case kErrorDirNotEmpty: return "The directory is not empty.";
    case kErrorBusy: return "The requested resource is in use.";
    case kErrorAlreadyExists: return "Cannot create a file when that file already exists.";
    case kErrorFilenameExcedRange: return "The filename or extension is too long.";
    case kErrorFileTooLarge: return "The file size exceeds the limit allowed and cannot be saved.";
    case kErrorMoreData: return "More data is available.";
    case kErrorWaitTimeout: return "The wait operation timed out.";
    case kErrorNoMoreItems: return "No more data is available.";
    case kErrorNotOwner: return "Attempt to release mutex not owned by caller.";
    case kErrorTooManyPosts: return "Too many posts were made to a semaphore.";
    case kErrorAbandonedWait: return "The wait was abandoned.";
    case kErrorNoUnicodeTranslation: return "No mapping for the Unicode character exists in the target multi-byte code page.";
    case kErrorIoDevice: return "The request could not be performed because of an I/O device error.";
    case kErrorNotFound: return "Element not found.";
    case kErrorCancelled: return "The operation was canceled by the user.";
    case kErrorPrivilegeNotHeld: return "A required privilege is not held by the client.";
    case kErrorTimeout: return "This operation returned because the timeout period expired.";
    default: return "Unknown error " + std::to_string(code) + ".";
  }
}

std::string ErrnoText(int errnum) {
  char buffer[256];
  // GNU strerror_r returns a pointer that may or may not be `buffer`.
  const char* text = strerror_r(errnum, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string("Unknown error");
}

}  // namespace yq
