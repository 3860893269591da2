// The numeric conversions of CGetOpt::NextArg, as "%d" and "%lf" scan a
// word in the C locale: leading blanks skipped, a sign, the number, any
// trailing text ignored. A value out of range is refused.
#pragma once

namespace zn::detail {

bool ScanInt(const char* text, int& value);
bool ScanDouble(const char* text, double& value);

}  // namespace zn::detail
