// The exit codes of every znadmin command. The man page (docs/man/znadmin.1)
// and docs/znadmin.md show this table; a new command uses these and no
// others, so that scripts can tell the outcomes apart the same way
// everywhere.
#pragma once

namespace zn::admin {

inline constexpr int kExitOk = 0;            // done
inline constexpr int kExitFailure = 1;       // the operation failed: the store, a file, the system
inline constexpr int kExitUsage = 2;         // a bad command line or value, or no instance chosen
inline constexpr int kExitNotFound = 3;      // a named thing does not exist: key, log, file, manager, task, job
inline constexpr int kExitValueMissing = 4;  // the key exists, the named value does not
inline constexpr int kExitRefused = 5;       // refused for safety: it needs -r, --force or a yes

}  // namespace zn::admin
