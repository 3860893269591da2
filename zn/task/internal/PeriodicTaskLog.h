// The job id the periodic task manager's level lines carry.
#pragma once

namespace zn::detail {

inline constexpr long long kPeriodicTaskJobId = -123456;

}  // namespace zn::detail
