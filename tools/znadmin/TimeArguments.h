// Durations and points in time as znadmin's options take them.
#pragma once

#include <string>
#include <string_view>

namespace zn::admin {

// "90", "90s", "15m", "2h", "7d": a positive number of seconds, at most
// `limit`. False for anything else.
bool ParseDuration(std::string_view text, long long limit, long long& seconds);

// A --since value as a log line's time stamp text ("YYYY-MM-DD
// hh:mm:ss.mmm", local time), so that lines compare as texts:
//   "2024-05-01", "2024-05-01 13:30", "2024-05-01 13:30:15"
//   "13:30", "13:30:15" (today)
//   "today", "yesterday", "now"
//   "-15m", "15m ago", "2h ago" (a duration before now)
// `now` is seconds since 1970. False for anything else.
bool ParseSince(std::string_view text, long long now, std::string& timestamp);

}  // namespace zn::admin
