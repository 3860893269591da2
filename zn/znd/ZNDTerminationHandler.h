// Noticing that the suite's local service daemon ("znd") has ended. The
// daemon holds a named mutex for as long as it runs; a process that waits
// for that mutex gets it when the daemon ends, or finds it abandoned when
// the daemon died holding it.
//
// A registered callback is called on the log's watch thread when the
// daemon goes away (EvDebug::initialize starts the watch): true means the
// process takes care of itself, false (or no callback) ends the process
// with exit code 1 after 20 seconds.
#pragma once

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZNDTerminationHandler {
 public:
  using TerminationCallback = bool (*)();

  // The size of the name buffer _WaitForZNDTermination uses.
  static constexpr int kMutexNameSize = 256;

  static void registerCallbackForZNDTermination(TerminationCallback& callback);
  static void unregisterCallbackForZNDTermination();
  static TerminationCallback getRegisteredZNDTerminationCallBack();

  // "Global\ZNDALIVE-<focus>", cut to fit `size` bytes with its terminator.
  // A null buffer (or one without room) gets nothing and an error line.
  static void _GenerateZNDAliveCheckMutexName(char* buffer, int size);

  // Waits up to `timeout` ms (all-ones: no limit) for the alive mutex, and
  // for the quit event too when one is given. Both are named objects
  // (zn::NamedKernelObject*: a mutex, and an event). True when the daemon
  // has ended: the mutex was acquired (and released at once), or was
  // abandoned. False on time-out, on the quit event and on failure.
  static bool _WaitForZNDAliveMutex(void* mutex, void* quitEvent, unsigned long timeout);

  // Opens the alive mutex of this process's instance and waits as above.
  // True when the daemon has ended or is not running (no such mutex).
  static bool _WaitForZNDTermination(void* quitEvent, unsigned long timeout);
};
