// The older prefixed debug output of the file and path classes.
//
// Separate from the process log (EvDebug): every object carries a prefix and
// writes "<prefix>: <message>" lines, filtered by one process-wide bit mask,
// to one shared text file per process and to the terminal. The shared file
// is opened by the first live object and closed by the last one.
#pragma once

#include <cstdio>
#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZNTDebuggable {
 public:
  // Longest line `debug` composes, its terminator included.
  static constexpr std::size_t kLineBufferSize = 3078;

  ZNTDebuggable();
  ZNTDebuggable(const ZNTDebuggable& other);
  ZNTDebuggable& operator=(const ZNTDebuggable& other);
  virtual ~ZNTDebuggable();

  // Writes one line when `level` passes the mask: "<prefix>: <message>".
  virtual void debug(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // True when `level AND debugMask` is non-zero: levels are bit flags.
  static bool isDebugOn(unsigned long level);

  void setDebugPrefix(const char* prefix);
  const char* getDebugPrefix() const { return m_debugPrefix.c_str(); }
  // Non-zero: every line also goes to standard output as "<prefix>(<level>): ".
  void useStdout(int flag);
  static void logEvents(int flag);
  static int getLogEventsFlag();

  // "now" for 0, else the ctime(3) text of `t` without its line end, or
  // "error"; kept in the object until the next call.
  const char* dateToString(unsigned long t);

  // Kept for the classes that call them; they do nothing here.
  void appEvent(unsigned long event, unsigned long data);
  void dateEvent(unsigned long t);
  void setJobId(long long jobId);
  void setProgramName(const char* name);
  const char* appToString(unsigned long event, unsigned long data);
  const char* getRegistryString(const char* key, const char* name);
  int getRegistryNumber(const char* key, unsigned long* value, const char* name);

  // Process-wide state. The embedding program sets debugMask directly.
  static unsigned long debugMask;  // 0: nothing is written
  static int usageCount;           // live objects
  static long debugPid;            // process that opened the shared file
  static FILE* debugLog;           // the shared file, or null
  static int logEventsFlag;        // 1 at start: the file needs the marker
  static bool symlinkTableFlag;

 protected:
  std::string m_debugPrefix;
  // Free for derived classes of the embedding program; copied with the object.
  std::string m_userText1;
  std::string m_userText2;
  std::string m_dateText;
  int m_useStdout = 0;
};
