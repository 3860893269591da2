// The library's locking vocabulary.
#pragma once

#include "zn/sync/ZnCriticalSection.h"
