// Sleeping, with the caller's location kept for diagnostics.
#pragma once

#include "zuzazer/YqExport.h"

YQ_EXPORT void YQSLEEP_InTeRnAl(unsigned long milliseconds, const char* file, int line);

#define YQSLEEP(ms) YQSLEEP_InTeRnAl((ms), __FILE__, __LINE__)
