#include "zn/config/ZNPI_Component.h"

namespace zn::detail {

void ComponentValues::recordFailure(const ZNPlatformInfo& store) {
  m_lastError = store.getLastError();
  m_lastErrorMsg = store.getLastErrorMsg();
}

bool ComponentValues::readNumber(ZNPlatformInfo& store, const char* name, unsigned long& out) {
  if (store.getNumber(section(), name, &out) != 0) return true;
  recordFailure(store);
  return false;
}

bool ComponentValues::readText(ZNPlatformInfo& store, const char* name, std::string& out) {
  if (store.getString(section(), name, &out) != 0) return true;
  recordFailure(store);
  return false;
}

unsigned long ComponentValues::number(ZNPlatformInfo& store, const char* name, unsigned long fallback) {
  unsigned long value = 0;
  return readNumber(store, name, value) ? value : fallback;
}

unsigned long ComponentValues::nonZero(ZNPlatformInfo& store, const char* name, unsigned long fallback) {
  unsigned long value = 0;
  return readNumber(store, name, value) && value != 0 ? value : fallback;
}

unsigned long ComponentValues::inRange(ZNPlatformInfo& store, const char* name, unsigned long low,
                                       unsigned long high, unsigned long fallback) {
  unsigned long value = 0;
  return readNumber(store, name, value) && value >= low && value <= high ? value : fallback;
}

bool ComponentValues::flag(ZNPlatformInfo& store, const char* name) {
  unsigned long value = 0;
  return readNumber(store, name, value) && value != 0;
}

std::string ComponentValues::text(ZNPlatformInfo& store, const char* name) {
  std::string value;
  return readText(store, name, value) ? value : std::string();
}

unsigned long ComponentValues::cachedNumber(ZNPlatformInfo& store, const char* name, uint32_t& cache, bool refresh,
                                            unsigned long fallback) {
  if (cache != 0 && !refresh) return cache;
  unsigned long value = 0;
  cache = static_cast<uint32_t>(readNumber(store, name, value) ? value : fallback);
  return cache;
}

const char* ComponentValues::cachedText(ZNPlatformInfo& store, const char* name, std::string& cache) {
  if (cache.empty() && !readText(store, name, cache)) return nullptr;
  return cache.empty() ? nullptr : cache.c_str();
}

const char* ComponentValues::cachedDirectory(ZNPlatformInfo& store, const char* name, std::string& cache) {
  if (cache.empty() && store.getDirectory(section(), name, &cache) == 0) {
    recordFailure(store);
    return nullptr;
  }
  return cache.empty() ? nullptr : cache.c_str();
}

unsigned long ComponentValues::setNumber(ZNPlatformInfo& store, const char* name, unsigned long value,
                                         uint32_t& cache) {
  if (store.setNumber(section(), name, value) == 0) {
    cache = 0;
    recordFailure(store);
    return 0;
  }
  cache = static_cast<uint32_t>(value);
  return cache;
}

unsigned long ComponentValues::setNumber(ZNPlatformInfo& store, const char* name, unsigned long value) {
  if (store.setNumber(section(), name, value) == 0) {
    recordFailure(store);
    return 0;
  }
  return value;
}

}  // namespace zn::detail
