// The utility library and the other stand-ins export only what carries
// this mark: their public classes and functions.
#pragma once

#define YQ_EXPORT __attribute__((visibility("default")))
