// The library exports only what carries this mark: its public classes and
// functions. Everything else, zn::detail above all, is hidden.
#pragma once

#define ZN_EXPORT __attribute__((visibility("default")))
