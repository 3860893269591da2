// The library's locking vocabulary.
#pragma once

#include "zn/sync/CNamedMutex.h"
#include "zn/sync/MDLock.h"
#include "zn/sync/ZNCritSect.h"
#include "zn/sync/ZnAtomic.h"
#include "zn/sync/ZnComplexLock.h"
#include "zn/base/ZnCriticalSection.h"
#include "zn/sync/ZnMonitor.h"
#include "zn/sync/ZnRW.h"
#include "zn/sync/ZnSafeFlags.h"
#include "zn/sync/ZnSemaphore.h"
#include "zn/sync/ZnSharedLock.h"
