// The machine-bound protection of the V8 key through libZnDataProtect.so,
// loaded once from this library's folder.
#pragma once

#include <string>

class ZncBucket;

namespace zn::detail {

// $ZN_MACHINE_KEY, else machine.key beside the configuration store file.
std::string MachineKeyPath();

// False with `error` set when the helper cannot be loaded or refuses.
bool MachineProtect(const ZncBucket& plain, ZncBucket& blob, std::string& error);
bool MachineUnprotect(const ZncBucket& blob, ZncBucket& plain, std::string& error);

}  // namespace zn::detail
