// CErrorMessageId and CErrorMessage are complete in their header; this unit
// keeps their layout checked where the library is built.
#include "zn/error/CErrorMessageId.h"

static_assert(sizeof(CErrorMessageId) == 4, "a message id is one 32-bit value");
