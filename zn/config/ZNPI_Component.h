// What every component-settings class (ZNPI_...) does with its section: one
// store read per getter with a built-in default, optional range rules and
// caches, and the class's own record of the last failed read. Getters never
// fail outward and never write their default to the store.
#pragma once

#include <cstdint>
#include <string>

#include "zn/config/ZNPlatformInfo.h"

namespace zn::detail {

class ComponentValues {
 public:
  // A null section is the instance key itself.
  explicit ComponentValues(const char* section) : m_section(section != nullptr ? section : "") {}

  const char* section() const { return m_section.c_str(); }
  unsigned long lastError() const { return m_lastError; }
  const std::string& lastErrorMsg() const { return m_lastErrorMsg; }

  // One read; false (with the store's error recorded) when it fails.
  bool readNumber(ZNPlatformInfo& store, const char* name, unsigned long& out);
  bool readText(ZNPlatformInfo& store, const char* name, std::string& out);

  // The number, or `fallback` when unreadable.
  unsigned long number(ZNPlatformInfo& store, const char* name, unsigned long fallback);
  // The number when readable and non-zero, else `fallback`.
  unsigned long nonZero(ZNPlatformInfo& store, const char* name, unsigned long fallback);
  // The number when it lies in [low, high], else `fallback` (not clamped).
  unsigned long inRange(ZNPlatformInfo& store, const char* name, unsigned long low, unsigned long high,
                        unsigned long fallback);
  // A flag: true when readable and non-zero.
  bool flag(ZNPlatformInfo& store, const char* name);
  // The text, or "" when unreadable.
  std::string text(ZNPlatformInfo& store, const char* name);

  // Cached number: the cache when non-zero and not `refresh`, else a read
  // (the fallback cached on failure).
  unsigned long cachedNumber(ZNPlatformInfo& store, const char* name, uint32_t& cache, bool refresh,
                             unsigned long fallback);
  // Cached text: filled on the first successful read; null while unreadable.
  const char* cachedText(ZNPlatformInfo& store, const char* name, std::string& cache);
  // The same for a directory value (read as the store reads directories).
  const char* cachedDirectory(ZNPlatformInfo& store, const char* name, std::string& cache);
  // Writes the number; on success caches it and returns it, on failure
  // clears the cache, records the error and returns 0.
  unsigned long setNumber(ZNPlatformInfo& store, const char* name, unsigned long value, uint32_t& cache);
  unsigned long setNumber(ZNPlatformInfo& store, const char* name, unsigned long value);

  void recordFailure(const ZNPlatformInfo& store);

 private:
  std::string m_section;  // owned, so copies of a component stay whole
  unsigned long m_lastError = 0;
  std::string m_lastErrorMsg;
};

}  // namespace zn::detail
