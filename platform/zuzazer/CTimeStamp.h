// Points in time and intervals, at nanosecond resolution.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "zuzazer/YqExport.h"

class YQ_EXPORT CTimeInterval {
 public:
  constexpr CTimeInterval() = default;

  static constexpr CTimeInterval FromNanoseconds(long long ns) { return CTimeInterval(ns); }
  static constexpr CTimeInterval FromMilliseconds(long long ms) { return CTimeInterval(ms * 1000000LL); }
  static constexpr CTimeInterval FromSeconds(long long s) { return CTimeInterval(s * 1000000000LL); }

  constexpr long long AsNanoseconds() const { return m_ns; }
  constexpr long long AsMilliseconds() const { return m_ns / 1000000LL; }
  constexpr long long AsSeconds() const { return m_ns / 1000000000LL; }

  constexpr auto operator<=>(const CTimeInterval&) const = default;
  constexpr CTimeInterval operator+(CTimeInterval other) const { return CTimeInterval(m_ns + other.m_ns); }
  constexpr CTimeInterval operator-(CTimeInterval other) const { return CTimeInterval(m_ns - other.m_ns); }

 private:
  constexpr explicit CTimeInterval(long long ns) : m_ns(ns) {}
  long long m_ns = 0;
};

class YQ_EXPORT CTimeStamp {
 public:
  // The Unix epoch.
  constexpr CTimeStamp() = default;

  static CTimeStamp Now();
  // From a FILETIME value: 100-nanosecond units since 1601-01-01 UTC.
  // Times outside the range of the nanosecond count (before 1678, after
  // 2262; FILETIME 0 among them) are clamped to its ends.
  static constexpr CTimeStamp FromFileTime(unsigned long long fileTime) {
    const __int128 ns = (static_cast<__int128>(fileTime) - kFileTimeEpochOffset) * 100;
    constexpr __int128 kMin = -0x7FFFFFFFFFFFFFFFLL - 1;
    constexpr __int128 kMax = 0x7FFFFFFFFFFFFFFFLL;
    return CTimeStamp(static_cast<long long>(ns < kMin ? kMin : (ns > kMax ? kMax : ns)));
  }
  static constexpr CTimeStamp FromUnixSeconds(long long seconds) { return CTimeStamp(seconds * 1000000000LL); }
  static constexpr CTimeStamp FromUnixNanoseconds(long long ns) { return CTimeStamp(ns); }
  static CTimeStamp FromTimePoint(std::chrono::system_clock::time_point point);

  constexpr unsigned long long AsFileTime() const {
    return static_cast<unsigned long long>(m_ns / 100LL + kFileTimeEpochOffset);
  }
  constexpr long long AsUnixSeconds() const { return m_ns >= 0 ? m_ns / 1000000000LL : -((-m_ns + 999999999LL) / 1000000000LL); }
  constexpr long long AsUnixNanoseconds() const { return m_ns; }

  // Local time as "YYYY-MM-DD hh:mm:ss".
  std::string AsLocalDateTimeString() const;
  // Local time as the 14 digits "YYYYMMDDhhmmss".
  std::string AsLocalCompactString() const;

  constexpr auto operator<=>(const CTimeStamp&) const = default;
  constexpr CTimeInterval operator-(const CTimeStamp& other) const {
    return CTimeInterval::FromNanoseconds(m_ns - other.m_ns);
  }
  constexpr CTimeStamp operator+(CTimeInterval interval) const { return CTimeStamp(m_ns + interval.AsNanoseconds()); }
  constexpr CTimeStamp operator-(CTimeInterval interval) const { return CTimeStamp(m_ns - interval.AsNanoseconds()); }

 private:
  // 100-ns units between 1601-01-01 and 1970-01-01.
  static constexpr long long kFileTimeEpochOffset = 116444736000000000LL;

  constexpr explicit CTimeStamp(long long ns) : m_ns(ns) {}
  long long m_ns = 0;
};
