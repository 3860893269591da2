// Running a command with its standard output and error captured.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/process/ZnProcess.h"
#include "zn/process/internal/Launcher.h"
#include "zn/process/internal/ProcessText.h"
#include "zuzazer/FXString.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

// Reads go straight into the text, at least this much at a time (more
// as the text grows): the original read 4095 bytes into a buffer and
// copied them; the bytes are the same.
constexpr std::size_t kMinimumRead = 64 * 1024;
constexpr std::size_t kMaximumRead = 4 * 1024 * 1024;
// A larger pipe means fewer wake-ups for a child that writes a lot; the
// system may refuse it (the default then stays).
constexpr int kPipeSize = 1024 * 1024;

struct Pipe {
  yq::UniqueFd readEnd;
  yq::UniqueFd writeEnd;
};

int OpenPipe(Pipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  pipe.readEnd.reset(fds[0]);
  pipe.writeEnd.reset(fds[1]);
  ::fcntl(fds[0], F_SETPIPE_SZ, kPipeSize);
  return 0;
}

// Asks for huge pages under a large text before it is written: filling
// tens of megabytes 4 KiB page by page costs more in page faults than the
// copy itself. Only advice; nothing changes when it is not taken.
void AdviseHugePages(std::string& text) {
  constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
  const auto start = reinterpret_cast<std::uintptr_t>(text.data());
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (start + text.capacity()) & ~(kHugePage - 1);
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

// A text being read into: `used` bytes are data, the rest room for the
// next read.
struct Collected {
  std::string& text;
  std::size_t used = 0;

  // Reads once into the room, making more first when it is short. The
  // read's result.
  ssize_t readFrom(int fd) {
    if (text.size() - used < kMinimumRead) {
      const std::size_t needed = used + std::min(std::max(used, kMinimumRead), kMaximumRead);
      if (needed > text.capacity()) {
        // A new buffer advised before anything is copied into it.
        std::string bigger;
        bigger.reserve(std::max(needed, 2 * text.capacity()));
        AdviseHugePages(bigger);
        bigger.assign(text, 0, used);
        text.swap(bigger);
      }
      text.resize(needed);
    }
    const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
    if (n > 0) used += static_cast<std::size_t>(n);
    return n;
  }
  void finish() { text.resize(used); }
};

// Reads both pipes to their ends together, so that a child filling one
// while we wait on the other never stalls. 0 or errno.
int DrainBoth(int outputFd, int errorFd, std::string& output, std::string& error) {
  struct pollfd fds[2] = {{outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}};
  Collected texts[2] = {{output}, {error}};
  int open = 2;
  int rc = 0;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      rc = errno;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = texts[i].readFrom(fds[i].fd);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  texts[0].finish();
  texts[1].finish();
  return rc;
}

struct Account {
  std::wstring user;
  std::wstring domain;
  std::wstring password;
  bool given = false;
};

// "domain\user" or "user", split at the first backslash.
Account SplitAccount(const char* account, const char* password) {
  Account out;
  if (account == nullptr || account[0] == '\0') return out;
  out.given = true;
  const std::string text(account);
  const std::size_t cut = text.find('\\');
  if (cut == std::string::npos) {
    out.user = FXString::ToWstring(text);
  } else {
    out.domain = FXString::ToWstring(text.substr(0, cut));
    out.user = FXString::ToWstring(text.substr(cut + 1));
  }
  if (password != nullptr) out.password = FXString::ToWstring(password);
  return out;
}

int RunCaptured(const char* function, const char* command, std::string* output, std::string* error, int level,
                bool quiet, const char* account, const char* password, bool sessionUser) {
  EvDebug log;
  if (!quiet && log.getDebugLevel() >= level) log.DebugLvl(function, level, "Entering for command [%s]", command != nullptr ? command : "");
  const char* shown = command != nullptr ? command : "";
  Pipe out;
  Pipe err;
  int rc = OpenPipe(out);
  if (rc == 0) rc = OpenPipe(err);
  if (rc != 0) {
    log.Error(function, "CreatePipe failed with error [%d] for command [%s]", static_cast<int>(yq::Win32FromErrno(rc)),
              shown);
    return -1;
  }

  Account who = SplitAccount(account, password);
  ZnProcess process;
  char failure[1024] = {0};
  void* outHandle = zn::detail::HandleFromFd(out.writeEnd.get());
  void* errHandle = zn::detail::HandleFromFd(err.writeEnd.get());
  int started = 0;
  if (sessionUser) {
    started = process.StartProcessForUserWithoutPassword(nullptr, command, 0, 1, nullptr, outHandle, errHandle,
                                                         failure, sizeof failure, nullptr, !quiet, false, 0);
  } else {
    started = process.StartProcess(nullptr, command, 0, 1, nullptr, outHandle, errHandle, failure, sizeof failure,
                                   who.given ? who.user.c_str() : nullptr, who.given ? who.domain.c_str() : nullptr,
                                   who.given ? who.password.c_str() : nullptr, nullptr, !quiet, false);
  }
  ::explicit_bzero(who.password.data(), who.password.size() * sizeof(wchar_t));
  out.writeEnd.reset();
  err.writeEnd.reset();
  if (started == 0) {
    log.Error(function, "Failed to execute system command [%s]", shown);
    if (error != nullptr) *error = failure;
    return -1;
  }

  std::string outputText;
  std::string errorText;
  rc = DrainBoth(out.readEnd.get(), err.readEnd.get(), outputText, errorText);
  int exitCode = 0;
  char waitText[1024] = {0};
  const bool ended = process.WaitForProcessToEnd(exitCode, waitText, sizeof waitText) != 0;
  if (rc != 0 || !ended) {
    log.Error(function, "Error [%s] in wait for process to end.",
              rc != 0 ? zn::detail::ErrnoMessage(rc).c_str() : waitText);
    return -1;
  }
  if (exitCode != 0) {
    log.Error(function, "Failed to execute command[%s].Error[%s]", shown, errorText.c_str());
  } else if (!quiet) {
    log.DebugLvl(function, 2, "Successfully executed command [%s] with exitCode [%d]", shown, exitCode);
  }
  if (output != nullptr) *output = std::move(outputText);
  if (error != nullptr) *error = std::move(errorText);
  return exitCode;
}

}  // namespace

int ZnProcess::system(const char* command, std::string* output, std::string* error, int level, bool quiet,
                      const char* account, const char* password) {
  return RunCaptured("ZnProcess::system", command, output, error, level, quiet, account, password, false);
}

int ZnProcess::system(const char* command, std::string* output, std::string* error, int level, bool quiet) {
  return RunCaptured("ZnProcess::system", command, output, error, level, quiet, nullptr, nullptr, false);
}

int ZnProcess::system_loggedinuser_nopassword(const char* command, std::string* output, std::string* error, int level,
                                              bool quiet) {
  return RunCaptured("ZnProcess::system_loggedinuser_nopassword", command, output, error, level, quiet, nullptr,
                     nullptr, true);
}
