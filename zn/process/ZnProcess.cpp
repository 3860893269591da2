// Starting, waiting for and stopping one process; the caller's variables.
#include "zn/process/ZnProcess.h"

#include <fcntl.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"
#include "zn/process/internal/CommandLine.h"
#include "zn/process/internal/Launcher.h"
#include "zn/process/internal/ProcessText.h"
#include "zn/process/internal/SessionUser.h"
#include "zn/util/ZnLogonUser.h"
#include "zuzazer/FXString.h"
#include "zuzazer/YqWin32Errors.h"

extern char** environ;

struct ZnProcess::Child {
  zn::detail::ChildProcess process;
};

// Everything a start of the family asks for.
struct ZnProcess::Launch {
  // What every start entry point is given: the program, its window and
  // standard handles, where a failure's text goes, where it runs.
  Launch(const char* fn, const char* program, const char* args, int window, void* in, void* out, void* err,
         char* text, int textSize, const char* dir, bool log, bool console, int level)
      : function(fn), executable(program), arguments(args), showWindow(window), handles{in, out, err},
        errorText(text), errorTextSize(textSize), directory(dir), logLaunch(log), newConsole(console),
        defaultLevel(level) {}

  const char* function = "ZnProcess::StartProcess";
  const char* executable = nullptr;
  const char* arguments = nullptr;
  int showWindow = 0;
  void* handles[3] = {nullptr, nullptr, nullptr};
  char* errorText = nullptr;
  int errorTextSize = 0;
  const wchar_t* user = nullptr;
  const wchar_t* domain = nullptr;
  const wchar_t* password = nullptr;
  bool sessionUser = false;  // the logged-on user, without a password
  const char* directory = nullptr;
  bool logLaunch = true;
  bool newConsole = false;
  int defaultLevel = 0;
  bool unicode = true;  // the names must have a Unicode form
};

namespace {

using zn::detail::CopyText;

using yq::kErrorNoUnicodeTranslation;
using yq::kErrorPrivilegeNotHeld;

// "Session" value nUseANSIProcessPath, read once per process.
bool UsesAnsiProcessPath() {
  static const bool ansi = [] {
    unsigned long value = 0;
    return ZNPlatformInfo(0, 0).getNumber("Session", "nUseANSIProcessPath", &value) != 0 && value != 0;
  }();
  return ansi;
}

bool ValidDescriptor(int fd) { return fd >= 0 && ::fcntl(fd, F_GETFD) >= 0; }

}  // namespace

ZnProcess::ZnProcess() : m_child(std::make_unique<Child>()) {}

ZnProcess::~ZnProcess() { closeHandles(); }

void ZnProcess::closeHandles() {
  m_child->process.release();
  m_hProcess = nullptr;
  m_hThread = nullptr;
  m_dwProcessId = 0;
  m_dwThreadId = 0;
}

void ZnProcess::SetEnvVariable(const std::string& name, const std::string& value) { m_envVariables[name] = value; }

void ZnProcess::SetEnvVariables(const std::unordered_map<std::string, std::string>& variables) {
  for (const auto& [name, value] : variables) m_envVariables[name] = value;
}

void ZnProcess::ClearEnvVariables() { m_envVariables.clear(); }

namespace {

// The caller's variables in name order, so that a block is the same for
// the same variables.
std::vector<std::pair<std::string, std::string>> SortedVariables(
    const std::unordered_map<std::string, std::string>& variables) {
  std::vector<std::pair<std::string, std::string>> sorted(variables.begin(), variables.end());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

}  // namespace

bool ZnProcess::GetEnvironmentVariablesBlockA(std::string& block) {
  block.clear();
  if (m_envVariables.empty()) {
    EvDebug().DebugLvl("ZnProcess::GetEnvironmentVariablesBlockA", 2, "No environment variables set for process.");
    return false;
  }
  if (environ == nullptr) {
    EvDebug().Error("ZnProcess::GetEnvironmentVariablesBlockA",
                    "Error occurred while fetching environment strings. Error : [%s].",
                    yq::Win32ErrorText(yq::kErrorInvalidData).c_str());
  }
  for (const std::string& entry : zn::detail::MergeEnvironment(environ, SortedVariables(m_envVariables))) {
    block += entry;
    block.push_back('\0');
  }
  block.push_back('\0');
  return true;
}

bool ZnProcess::GetEnvironmentVariablesBlockW(std::wstring& block) {
  block.clear();
  if (m_envVariables.empty()) {
    EvDebug().DebugLvl("ZnProcess::GetEnvironmentVariablesBlockW", 2, "No environment variables set for process.");
    return false;
  }
  if (environ == nullptr) {
    EvDebug().Error("ZnProcess::GetEnvironmentVariablesBlockW",
                    "Error occurred while fetching environment strings. Error : [%s].",
                    yq::Win32ErrorText(yq::kErrorInvalidData).c_str());
  }
  for (const std::string& entry : zn::detail::MergeEnvironment(environ, SortedVariables(m_envVariables))) {
    block += FXString::ToWstring(entry);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return true;
}

int ZnProcess::start(const Launch& launch) {
  EvDebug log;
  closeHandles();
  CopyText(std::string(), launch.errorText, launch.errorTextSize);
  auto fail = [&](uint32_t code) {
    CopyText(yq::Win32ErrorText(code), launch.errorText, launch.errorTextSize);
    return 0;
  };

  // The standard handles: each distinct one counted once.
  zn::detail::LaunchSpec spec;
  int distinct[3];
  int count = 0;
  bool anyHandle = false;
  for (int i = 0; i < 3; ++i) {
    if (launch.handles[i] == nullptr) continue;
    anyHandle = true;
    const int fd = zn::detail::FdFromHandle(launch.handles[i]);
    spec.standardFds[i] = fd;
    if (std::find(distinct, distinct + count, fd) == distinct + count) distinct[count++] = fd;
  }
  if (anyHandle) {
    if (count < 1 || count > 3) {
      log.Error(launch.function, "Incorrect handle count (%d).", count);
      return fail(yq::kErrorInvalidParameter);
    }
    for (int i = 0; i < count; ++i) {
      if (!ValidDescriptor(distinct[i])) {
        log.Error(launch.function, "Failed to initialize thread attribute list. Last Error:[%d]",
                  static_cast<int>(yq::kErrorInvalidHandle));
        return fail(yq::kErrorInvalidHandle);
      }
    }
  }

  // The program and its arguments.
  const bool hasExecutable = launch.executable != nullptr && launch.executable[0] != '\0';
  const char* command = hasExecutable ? launch.executable : launch.arguments;
  std::string priorityName;
  unsigned long flags = 0;
  const unsigned long priorityClass = GetOSLevelPriority(priorityName, flags, command, launch.defaultLevel);
  if (launch.newConsole) flags = CREATE_NEW_CONSOLE;
  std::string block;
  if (GetEnvironmentVariablesBlockA(block)) flags |= CREATE_UNICODE_ENVIRONMENT;
  if (launch.logLaunch) {
    log.DebugLvl(launch.function, 0, "Preparing to launch process: <%s>. Priority: <%s>. Value: <%lu> creational flag <%d>.",
                 command != nullptr ? command : "", priorityName.c_str(), priorityClass, static_cast<int>(flags));
  }
  if (launch.unicode) {
    if (!zn::detail::HasUnicodeForm(launch.executable)) {
      log.Error(launch.function, "Failed to convert Executable name (%s) to unicode. Error:[%s].", launch.executable,
                yq::Win32ErrorText(kErrorNoUnicodeTranslation).c_str());
      return fail(kErrorNoUnicodeTranslation);
    }
    if (!zn::detail::HasUnicodeForm(launch.arguments)) {
      log.Error(launch.function, "Failed to convert command line arguments (%s) to unicode. Error:[%s].",
                launch.arguments, yq::Win32ErrorText(kErrorNoUnicodeTranslation).c_str());
      return fail(kErrorNoUnicodeTranslation);
    }
    if (!zn::detail::HasUnicodeForm(launch.directory)) {
      log.Error(launch.function, "Failed to convert current directory (%s) to unicode. Error:[%s].", launch.directory,
                yq::Win32ErrorText(kErrorNoUnicodeTranslation).c_str());
      return fail(kErrorNoUnicodeTranslation);
    }
  }
  if (hasExecutable) spec.argv.emplace_back(launch.executable);
  if (launch.arguments != nullptr) {
    for (std::string& argument : zn::detail::SplitCommandLine(launch.arguments)) spec.argv.push_back(std::move(argument));
  }
  if (spec.argv.empty()) return fail(yq::kErrorFileNotFound);
  if (!m_envVariables.empty()) {
    spec.environment = zn::detail::MergeEnvironment(environ, SortedVariables(m_envVariables));
  }
  if (launch.directory != nullptr) spec.directory = launch.directory;
  spec.niceValue = NiceValueForPriorityClass(priorityClass);
  spec.newSession = (flags & CREATE_NEW_CONSOLE) != 0;

  // Another user: logged on with the password, or the session's user.
  zn::LogonAccount account;
  const std::string user = zn::detail::Narrow(launch.user);
  if (launch.sessionUser) {
    zn::detail::SessionUser session;
    int code = zn::detail::FindActiveSessionUser(session);
    if (code != 0) {
      log.Error(launch.function, "Failed to enumerate session.[%d].", code);
      return fail(static_cast<uint32_t>(code));
    }
    if ((code = zn::detail::AccountOfUser(session.name, account)) != 0) {
      log.Error(launch.function, "Failed to query user token errorCode-[%d].", code);
      return fail(static_cast<uint32_t>(code));
    }
    log.DebugLvl(launch.function, 0, "Found user profile for user-[%s], sessionId-[%d] to launch process.",
                 session.name.c_str(), session.sessionId);
    spec.identity = zn::detail::ChildIdentity{account.uid, account.gid, account.groups};
  } else if (!user.empty()) {
    std::string password = zn::detail::Narrow(launch.password);
    const CYqError logon = zn::LogonUser(user, zn::detail::Narrow(launch.domain), password, account);
    ::explicit_bzero(password.data(), password.size());
    if (logon.GetErrorCode() != 0) {
      CopyText(logon.AsString(), launch.errorText, launch.errorTextSize);
      return 0;
    }
    spec.identity = zn::detail::ChildIdentity{account.uid, account.gid, account.groups};
  }
  if (spec.identity && ::geteuid() != 0) return fail(kErrorPrivilegeNotHeld);

  zn::detail::LaunchOutcome outcome;
  if (!zn::detail::Launch(spec, m_child->process, outcome)) {
    return fail(yq::Win32FromErrno(outcome.error));
  }
  if (outcome.niceError != 0) {
    log.Error(launch.function, "Could not set priority <%s> for process <%s>. Error:[%s]. It runs at Normal.",
              priorityName.c_str(), command != nullptr ? command : "", zn::detail::ErrnoMessage(outcome.niceError).c_str());
  }
  m_dwProcessId = static_cast<unsigned long>(m_child->process.pid());
  m_dwThreadId = m_dwProcessId;
  m_hProcess = zn::detail::HandleFromFd(m_child->process.pidfd());
  m_hThread = m_hProcess;
  return 1;
}

int ZnProcess::StartProcess(const char* executable, const char* arguments, int showWindow, int inheritHandles,
                            void* standardInput, void* standardOutput, void* standardError, char* errorText,
                            int errorTextSize, const wchar_t* user, const wchar_t* domain, const wchar_t* password,
                            const char* directory, bool logLaunch, bool newConsole) {
  return StartProcessWithPriority(executable, arguments, showWindow, inheritHandles, standardInput, standardOutput,
                                  standardError, errorText, errorTextSize, user, domain, password, directory,
                                  logLaunch, newConsole, 0);
}

int ZnProcess::StartProcessWithPriority(const char* executable, const char* arguments, int showWindow,
                                        int /*inheritHandles*/, void* standardInput, void* standardOutput,
                                        void* standardError, char* errorText, int errorTextSize, const wchar_t* user,
                                        const wchar_t* domain, const wchar_t* password, const char* directory,
                                        bool logLaunch, bool newConsole, int defaultLevel) {
  Launch launch("ZnProcess::StartProcessWithPriority", executable, arguments, showWindow, standardInput,
                standardOutput, standardError, errorText, errorTextSize, directory, logLaunch, newConsole,
                defaultLevel);
  launch.user = user;
  launch.domain = domain;
  launch.password = password;
  launch.unicode = !UsesAnsiProcessPath();
  return start(launch);
}

int ZnProcess::StartProcessUnicode(const char* executable, const char* arguments, int showWindow,
                                   int /*inheritHandles*/, void* standardInput, void* standardOutput,
                                   void* standardError, char* errorText, int errorTextSize, const wchar_t* user,
                                   const wchar_t* domain, const wchar_t* password, const char* directory,
                                   bool logLaunch, bool newConsole, int defaultLevel) {
  Launch launch("ZnProcess::StartProcessUnicode", executable, arguments, showWindow, standardInput,
                standardOutput, standardError, errorText, errorTextSize, directory, logLaunch, newConsole,
                defaultLevel);
  launch.user = user;
  launch.domain = domain;
  launch.password = password;
  return start(launch);
}

int ZnProcess::StartProcessForUserWithoutPassword(const char* executable, const char* arguments, int showWindow,
                                                  int /*inheritHandles*/, void* standardInput, void* standardOutput,
                                                  void* standardError, char* errorText, int errorTextSize,
                                                  const char* directory, bool logLaunch, bool newConsole,
                                                  int defaultLevel) {
  Launch launch("ZnProcess::StartProcessForUserWithoutPassword", executable, arguments, showWindow, standardInput,
                standardOutput, standardError, errorText, errorTextSize, directory, logLaunch, newConsole,
                defaultLevel);
  launch.sessionUser = true;
  const int started = start(launch);
  if (started != 0) EvDebug().DebugLvl(launch.function, 2, "Successfully created process with special handles.");
  return started;
}

int ZnProcess::WaitForProcessToEnd(int& exitCode, char* text, int size, int seconds) {
  exitCode = 0;
  CopyText(std::string(), text, size);
  if (!m_child->process.valid()) return 0;
  const long long timeoutMs = seconds == -1 ? -1 : static_cast<long long>(std::max(seconds, 0)) * 1000;
  const int rc = m_child->process.wait(timeoutMs, exitCode);
  if (rc == 0) return 1;
  CopyText(rc == ETIMEDOUT ? std::string("Timeout") : zn::detail::ErrnoMessage(rc), text, size);
  return 0;
}

int ZnProcess::WaitForProcessToEnd(int& exitCode, char* text, int size) {
  return WaitForProcessToEnd(exitCode, text, size, -1);
}

int ZnProcess::StopProcess() {
  if (!m_child->process.running()) return 0;
  const int rc = m_child->process.kill();
  closeHandles();
  return rc == 0 ? 1 : 0;
}

bool ZnProcess::GetProcessDuplicateHandle(void*& handle) {
  handle = nullptr;
  if (!m_child->process.valid() || m_child->process.pidfd() < 0) return false;
  const int copy = ::fcntl(m_child->process.pidfd(), F_DUPFD_CLOEXEC, 3);
  if (copy < 0) return false;
  handle = zn::detail::HandleFromFd(copy);
  return true;
}

std::string zn::CommandLineOf(const std::vector<std::string>& arguments) {
  return zn::detail::JoinCommandLine(arguments);
}
