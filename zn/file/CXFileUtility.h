// Free helpers of the older file layer: a folder tree made in one call,
// and a rename and a folder removal that wait out a passing refusal.
#pragma once

#include "zn/base/ZnExport.h"

// Longest path znRecursiveMkdir takes, and the errno it sets beyond it.
inline constexpr int kZnMaxMkdirPath = 1026;
inline constexpr int kZnMkdirPathTooLong = -777;

// Makes `path` and every missing parent. 0 when it is a folder at the end
// (made now, or already there); -1 with errno otherwise: EEXIST when
// something other than a folder has the name, -777 for a path of 1027
// characters or more. `mode` is accepted and not used: new folders get
// 0777 less the umask.
ZN_EXPORT int znRecursiveMkdir(const char* path, int mode);

// rename(2) (an existing file of the target name is replaced at once),
// tried up to 20 times a second apart while it is refused with EACCES; every
// failure is written to the RENAME debug output. 0, or -1 with errno.
ZN_EXPORT int znSafeRename(const char* from, const char* to);

// rmdir(2) of an empty folder, with the same retries and the RMDIR debug
// output. 0, or -1 with errno.
ZN_EXPORT int znSafeRmdir(const char* path);
