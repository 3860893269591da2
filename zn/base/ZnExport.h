// The library exports only what carries this mark: its public classes and
// functions. Everything else, zn::detail above all, is hidden.
#pragma once

#define ZN_EXPORT __attribute__((visibility("default")))

// A member of an exported class that is the library's business alone: a
// private helper whose signature names internal types.
#define ZN_HIDDEN __attribute__((visibility("hidden")))
