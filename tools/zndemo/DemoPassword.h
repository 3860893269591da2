// The demo service's stored password: read and decoded once at start, as
// a service reads the password it signs on with. Only what it was and
// whether it decoded is ever shown; the password itself never is.
#pragma once

#include <string>

class EvDebug;

namespace zn::demo {

// Where the demo keeps it: the network password of the instance.
inline constexpr const char* kPasswordSection = "Session";
inline constexpr const char* kPasswordValue = "pCntInfo";

// One line for the summary ("format 8, decoded: 11 characters").
std::string ReadStoredPassword(EvDebug& log);

}  // namespace zn::demo
