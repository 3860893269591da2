#include "zn/stream/internal/StreamError.h"

#include "zn/error/ZnException.h"
#include "zuzazer/CYqError.h"

namespace zn::detail {

namespace {
constexpr int kStreamErrorNumber = -1;
}  // namespace

void ThrowStreamError(const char* function, const std::string& message, std::source_location where) {
  throw ZnException(function, message, where.file_name(), static_cast<int>(where.line()), kStreamErrorNumber);
}

void ThrowStreamError(const char* function, const CYqError& error, const std::string& prefix,
                      std::source_location where) {
  ThrowStreamError(function, prefix + error.AsString(eErrorOutputUser), where);
}

}  // namespace zn::detail
