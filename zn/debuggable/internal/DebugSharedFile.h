// The shared file of the prefixed debug output: where it lives and how it is
// opened without trusting what another user left in a world-writable folder.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace zn::detail {

// Guards the object count, the shared file and every write to it, so that
// debuggable objects may be made and used on several threads.
std::mutex& DebuggableLock();

// The folder of the shared file and its marker, ending in '/':
// $ZN_DEBUGGABLE_DIR when set and not empty, else "/tmp/".
std::string DebuggableFolder();

// Opens the shared file as the first live object does: nothing unless the
// marker exists (while `needMarker`); "log.out", else "log<pid>.out". Writes
// the greeting on success; prints the failure to the console otherwise.
FILE* OpenDebugSharedFile(bool needMarker, long pid);

}  // namespace zn::detail
