// Hooks for tests of the cryptography module: where the engine is looked
// for, reloading it, a look at bucket memory as it is released, and the
// table path of the checksums.
#pragma once

#include "zn/base/ZnExport.h"

namespace zn::testing {

// The folder searched first in place of this library's own (null: the
// library's own again). Takes effect at the next load.
ZN_EXPORT void SetEngineDirectory(const char* folder);

// Called with every bucket storage block after it has been wiped and just
// before it is freed (null: none). For tests that check the wiping.
using BucketReleaseHook = void (*)(const unsigned char* block, int capacity);
ZN_EXPORT void SetBucketReleaseHook(BucketReleaseHook hook);

// Whether the checksums may use the processor's CRC instructions (true,
// the default) or must use their tables alone (false).
ZN_EXPORT void SetChecksumHardware(bool allowed);

// How many threads hold engine state now (-1 when the engine is not loaded
// or does not tell).
ZN_EXPORT int EngineThreadStateCount();

}  // namespace zn::testing

namespace zn::testing {

// Forgets the password class's process caches: the V8 key and the
// isV8EncryptionEnabled answer (its first-call check included).
ZN_EXPORT void ResetPasswordCaches();

}  // namespace zn::testing
