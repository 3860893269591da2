#include "zn/process/ZNChildProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "zn/process/internal/Launcher.h"
#include "zuzazer/YqWin32Errors.h"

struct ZNChildProcess::Child {
  zn::detail::ChildProcess process;
};

namespace {

constexpr const char* kUnknownFailure = "unknown failure";

int OpenPipe(yq::UniqueFd& readEnd, yq::UniqueFd& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  readEnd.reset(fds[0]);
  writeEnd.reset(fds[1]);
  return 0;
}

}  // namespace

ZNChildProcess::ZNChildProcess() : m_child(std::make_unique<Child>()) {
  std::strcpy(m_failure, kUnknownFailure);
}

ZNChildProcess::~ZNChildProcess() {
  ZNFile::close();
  m_errorStream.close();
  closePipes();
  m_child->process.release();
}

int ZNChildProcess::fail(int code, const char* text) {
  setLastError(code);
  std::strncpy(m_failure, text, sizeof m_failure - 1);
  m_failure[sizeof m_failure - 1] = '\0';
  return -1;
}

void ZNChildProcess::closePipes() {
  m_childInput.reset();
  m_childOutput.reset();
  m_childError.reset();
}

void ZNChildProcess::closeInput() {
  bufWriteFlush();
  m_childInput.reset();
}

int ZNChildProcess::spawnDisconnected(const char* program, char* const* argv) {
  return spawn(program, argv, false, false);
}

int ZNChildProcess::spawnConnected(const char* program, char* const* argv, bool pipeError, bool separateError) {
  return spawn(program, argv, true, pipeError && separateError);
}

int ZNChildProcess::spawn(const char* program, char* const* argv, bool connected, bool pipeError) {
  if (m_started) return fail(-1, "already started");
  if (program == nullptr || program[0] == '\0') return fail(static_cast<int>(yq::kErrorFileNotFound), "CreateProcess failed");
  zn::detail::LaunchSpec spec;
  spec.argv.emplace_back(program);
  for (int i = 1; argv != nullptr && argv[0] != nullptr && argv[i] != nullptr; ++i) spec.argv.emplace_back(argv[i]);

  yq::UniqueFd inputRead, inputWrite, outputRead, outputWrite, errorRead, errorWrite;
  if (connected) {
    int rc = OpenPipe(inputRead, inputWrite);
    if (rc != 0) return fail(static_cast<int>(yq::Win32FromErrno(rc)), "CreatePipe (1) failed");
    if ((rc = OpenPipe(outputRead, outputWrite)) != 0) {
      return fail(static_cast<int>(yq::Win32FromErrno(rc)), "CreatePipe (2) failed");
    }
    if (pipeError && (rc = OpenPipe(errorRead, errorWrite)) != 0) {
      return fail(static_cast<int>(yq::Win32FromErrno(rc)), "CreatePipe (3) failed");
    }
    spec.standardFds[0] = inputRead.get();
    spec.standardFds[1] = outputWrite.get();
    spec.standardFds[2] = pipeError ? errorWrite.get() : STDERR_FILENO;
  } else {
    // All three given as "none": /dev/null each.
    yq::UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null) return fail(static_cast<int>(yq::Win32FromErrno(errno)), "CreatePipe (4) failed");
    spec.standardFds[0] = spec.standardFds[1] = spec.standardFds[2] = null.get();
    spec.newSession = true;
    zn::detail::LaunchOutcome outcome;
    if (!zn::detail::Launch(spec, m_child->process, outcome)) {
      return fail(static_cast<int>(yq::Win32FromErrno(outcome.error)), "CreateProcess failed");
    }
  }
  if (connected) {
    zn::detail::LaunchOutcome outcome;
    if (!zn::detail::Launch(spec, m_child->process, outcome)) {
      return fail(static_cast<int>(yq::Win32FromErrno(outcome.error)), "CreateProcess failed");
    }
    m_childInput = std::move(inputWrite);
    m_childOutput = std::move(outputRead);
    m_childError = std::move(errorRead);
    setHandles(zn::detail::HandleFromFd(m_childOutput.get()), zn::detail::HandleFromFd(m_childInput.get()),
               ZNFILE_READ_WRITE);
    if (m_childError) {
      m_errorStream.setHandles(zn::detail::HandleFromFd(m_childError.get()), nullptr, ZNFILE_READ);
    }
  }
  m_started = true;
  m_pid = static_cast<unsigned long>(m_child->process.pid());
  m_hProcess = zn::detail::HandleFromFd(m_child->process.pidfd());
  m_hThread = m_hProcess;
  return 0;
}

int ZNChildProcess::wait() {
  if (!m_started) return fail(-1, "not started");
  // Our end of its input closed first: a child reading it to the end
  // would otherwise wait for us while we wait for it.
  closeInput();
  int exitCode = 0;
  const int rc = m_child->process.wait(-1, exitCode);
  ZNFile::close();
  m_errorStream.close();
  closePipes();
  m_child->process.release();
  m_started = false;
  m_hProcess = m_hThread = nullptr;
  if (rc != 0) return fail(static_cast<int>(yq::Win32FromErrno(rc)), "GetExitCodeProcess failed");
  if (exitCode != 0) return fail(exitCode, "Child exited with error");
  return 0;
}
