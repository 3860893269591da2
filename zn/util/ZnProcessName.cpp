#include "zn/util/ZnProcessName.h"

#include <unistd.h>

#include <climits>

#include "zuzazer/FXPath.h"

namespace zn {

std::string RunningProcessName() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "unknown";
  path[length] = '\0';
  return FXPath::GetFileName(path);
}

}  // namespace zn
