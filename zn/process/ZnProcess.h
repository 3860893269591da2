// Starting other programs as the suite's services do: chosen standard
// handles (and only those reach the child), an environment built from the
// caller's variables over the inherited ones, the priority class and
// console flags the configuration gives, optionally as another user, and a
// wait for the exit code; running a command with its output and error
// captured; capping the CPU rate of the calling process.
//
// Handles are descriptors + 1 (null: none), as FXFile carries them. A child
// killed by a signal exits with 128 + the signal. Nothing is thrown: results
// are as the methods say, with the system's message in the caller's buffer.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "zn/base/ZnExport.h"

class EvDebug;

// Creation flags and priority classes, with the values of the suite's
// first platform: they are logged and compared as numbers.
inline constexpr unsigned long DETACHED_PROCESS = 0x00000008;
inline constexpr unsigned long CREATE_NEW_CONSOLE = 0x00000010;
inline constexpr unsigned long CREATE_UNICODE_ENVIRONMENT = 0x00000400;
inline constexpr unsigned long CREATE_NO_WINDOW = 0x08000000;
inline constexpr unsigned long NORMAL_PRIORITY_CLASS = 0x00000020;
inline constexpr unsigned long HIGH_PRIORITY_CLASS = 0x00000080;
inline constexpr unsigned long BELOW_NORMAL_PRIORITY_CLASS = 0x00004000;

// The priority class for `command` from the store ("Session" values
// `<name>_PRIORITY`, then `PROCESS_PRIORITY`; "FileSystemAgent"
// `nLaptopAgent`; else `defaultLevel`), its name ("Normal", "Below Normal",
// "High") and the creation flags (detached, no-window or new console).
ZN_EXPORT unsigned long GetOSLevelPriority(std::string& priorityName, unsigned long& creationFlags,
                                           const char* command, int defaultLevel);
// True when "Session" value `<program>_CreateWindow` is non-zero.
ZN_EXPORT bool IsConsoleNeededForCommand(const char* command);
// The nice value of a priority class: 0, 10 (below normal) or -10 (high).
ZN_EXPORT int NiceValueForPriorityClass(unsigned long priorityClass);

namespace zn {
// The command line (for `arguments` of the start calls and for `system`)
// that the launcher splits back into exactly `arguments`.
ZN_EXPORT std::string CommandLineOf(const std::vector<std::string>& arguments);
}  // namespace zn

class ZN_EXPORT ZnProcess {
 public:
  ZnProcess();
  ~ZnProcess();
  ZnProcess(const ZnProcess&) = delete;
  ZnProcess& operator=(const ZnProcess&) = delete;

  // ---- The caller's variables for the next start ----
  void SetEnvVariable(const std::string& name, const std::string& value);
  void SetEnvVariables(const std::unordered_map<std::string, std::string>& variables);
  void ClearEnvVariables();
  // The environment of the next start: the process's own "name=value"
  // strings with the caller's variables over them, each ended by a NUL and
  // the whole by another. false (block empty) when no variables are set:
  // the child then inherits the environment unchanged.
  bool GetEnvironmentVariablesBlockA(std::string& block);
  bool GetEnvironmentVariablesBlockW(std::wstring& block);

  // ---- Starting ----
  // `arguments` is the command line after the program (split as the C
  // runtime splits one); with a null or empty `executable` it is the whole
  // command line. `showWindow` is logged only; `inheritHandles` is kept for
  // callers (the child gets the given standard handles and nothing else
  // either way). With a user name the child runs as that user, logged on
  // with the password (needs root). Non-zero on success; on failure
  // `errorText` holds the system's message.
  int StartProcess(const char* executable, const char* arguments, int showWindow, int inheritHandles,
                   void* standardInput, void* standardOutput, void* standardError, char* errorText,
                   int errorTextSize, const wchar_t* user = nullptr, const wchar_t* domain = nullptr,
                   const wchar_t* password = nullptr, const char* directory = nullptr, bool logLaunch = true,
                   bool newConsole = false);
  int StartProcessWithPriority(const char* executable, const char* arguments, int showWindow, int inheritHandles,
                               void* standardInput, void* standardOutput, void* standardError, char* errorText,
                               int errorTextSize, const wchar_t* user, const wchar_t* domain,
                               const wchar_t* password, const char* directory, bool logLaunch, bool newConsole,
                               int defaultLevel);
  // The names must be valid UTF-8 (the start fails with the conversion
  // messages otherwise).
  int StartProcessUnicode(const char* executable, const char* arguments, int showWindow, int inheritHandles,
                          void* standardInput, void* standardOutput, void* standardError, char* errorText,
                          int errorTextSize, const wchar_t* user, const wchar_t* domain, const wchar_t* password,
                          const char* directory, bool logLaunch, bool newConsole, int defaultLevel);
  // As the user of the most recent login session of the machine (utmp),
  // without a password (needs root).
  int StartProcessForUserWithoutPassword(const char* executable, const char* arguments, int showWindow,
                                         int inheritHandles, void* standardInput, void* standardOutput,
                                         void* standardError, char* errorText, int errorTextSize,
                                         const char* directory, bool logLaunch, bool newConsole, int defaultLevel);

  // ---- The started process ----
  // 1 when it ended (exit code set), 0 with "Timeout" or the system's
  // message in `text` otherwise, 0 when there is no process. `seconds` -1
  // waits without limit.
  int WaitForProcessToEnd(int& exitCode, char* text, int size, int seconds);
  int WaitForProcessToEnd(int& exitCode, char* text, int size);
  // Kills the process and closes its handles: 1, or 0 when there is none or
  // it cannot be killed.
  int StopProcess();
  // A handle of the caller's own on the process (a pidfd + 1; close it with
  // close(handle - 1)). false when there is no process.
  bool GetProcessDuplicateHandle(void*& handle);
  void* GetProcessHandle() const { return m_hProcess; }
  void* GetThreadHandle() const { return m_hThread; }
  unsigned long GetProcessId() const { return m_dwProcessId; }
  unsigned long GetThreadId() const { return m_dwThreadId; }

  // ---- Commands ----
  // Runs `command` (split as above, no shell) with its standard output and
  // error captured into the strings (either may be null) and no standard
  // input. With `account` ("domain\\user" or "user") and `password` it runs
  // as that account. The child's exit code, or -1 when it could not be
  // started or waited for. `level` is the debug level asked of the log;
  // `quiet` leaves out the entry and success lines.
  static int system(const char* command, std::string* output, std::string* error, int level, bool quiet,
                    const char* account, const char* password);
  static int system(const char* command, std::string* output, std::string* error, int level, bool quiet);
  // The same as the user of the most recent login session.
  static int system_loggedinuser_nopassword(const char* command, std::string* output, std::string* error,
                                            int level, bool quiet);

  // Caps the CPU rate of the calling process (and of the children it starts
  // afterwards) at `percent` of one core, in the cgroup `group` below its
  // own. 0, or -1 with the reason logged.
  static int LimitCPURate(const char* group, int percent);

 private:
  struct Launch;
  struct Child;
  int start(const Launch& launch);
  void closeHandles();

  void* m_hProcess = nullptr;
  void* m_hThread = nullptr;
  unsigned long m_dwProcessId = 0;
  unsigned long m_dwThreadId = 0;
  std::unordered_map<std::string, std::string> m_envVariables;
  std::unique_ptr<Child> m_child;
};
