// Small helpers the log's source files share.
#pragma once

#include <string>

#include "zn/log/EvDebug.h"

namespace zn::detail {

// The instance's module name, read under the settings lock.
std::string ModuleNameOf(const EvDebugFileInstance& instance);

// The key "<module><suffix>" of section "EventManager".
inline std::string ModuleKey(const std::string& module, const char* suffix) { return module + suffix; }

// True when a debugger (a tracer) is attached to this process.
bool DebuggerAttached();

// True when the termination handler holds a callback (the log then
// watches the service daemon).
bool ZndTerminationCallbackRegistered();

// The system's folder for temporary files: $TEMP, else $TMPDIR, else /tmp.
std::string SystemTempFolder();

}  // namespace zn::detail
