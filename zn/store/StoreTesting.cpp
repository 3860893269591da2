#include "zn/store/StoreTesting.h"

#include <sys/stat.h>

#include "zn/store/internal/StoreChangeCounter.h"

namespace zn::testing {

std::string StoreCounterName(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return std::string();
  return detail::StoreChangeCounter::SegmentName(file);
}

}  // namespace zn::testing
