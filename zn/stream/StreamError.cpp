#include "zn/stream/internal/StreamError.h"

#include "zn/error/ZnException.h"
#include "zuzazer/CYqError.h"

namespace zn::detail {

namespace {
constexpr int kStreamErrorNumber = -1;
}  // namespace

void ThrowStreamError(const char* function, const std::string& message, const char* file, int line) {
  throw ZnException(function, message, file, line, kStreamErrorNumber);
}

void ThrowStreamError(const char* function, const CYqError& error, const std::string& prefix, const char* file,
                      int line) {
  ThrowStreamError(function, prefix + error.AsString(eErrorOutputUser), file, line);
}

}  // namespace zn::detail
