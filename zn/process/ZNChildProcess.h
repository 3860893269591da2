// The older, stream-style launcher: the object is itself a ZNFile connected
// to the child's standard output (read) and standard input (write), with a
// second stream for the child's standard error when asked for.
//
// Results: 0, or -1 with getLastError() (an errno-mapped Win32 code, the
// child's exit code, or -1 for a wrong state) and getFailureMessage().
#pragma once

#include <memory>

#include "zn/base/ZnExport.h"
#include "zn/file/ZNFile.h"
#include "zuzazer/FXUniqueFd.h"

class ZN_EXPORT ZNChildProcess : public ZNFile {
 public:
  ZNChildProcess();
  ~ZNChildProcess() override;
  ZNChildProcess(const ZNChildProcess&) = delete;
  ZNChildProcess& operator=(const ZNChildProcess&) = delete;

  // Starts `program` with the arguments argv[1].. (argv[0] is not passed
  // on; the program is) in a session of its own, with no descriptor of
  // ours: its standard handles are /dev/null.
  int spawnDisconnected(const char* program, char* const* argv);
  // Starts it with pipes for its standard input and output (and with both
  // flags set its standard error into errorStream()); it inherits only its
  // pipe ends, and our own standard error when that is not piped.
  int spawnConnected(const char* program, char* const* argv, bool pipeError, bool separateError);
  // Closes the child's standard input, so that it sees the end of it.
  void closeInput();
  // Waits without limit and closes the handles: 0 for exit code 0, -1
  // otherwise ("Child exited with error", last error = the exit code).
  int wait();

  ZNFile& errorStream() { return m_errorStream; }
  const char* getFailureMessage() const { return m_failure; }
  bool isStarted() const { return m_started; }
  unsigned long getPid() const { return m_pid; }

 private:
  int fail(int code, const char* text);
  int spawn(const char* program, char* const* argv, bool connected, bool pipeError);
  void closePipes();

  struct Child;
  bool m_started = false;
  char m_failure[1027];
  void* m_hProcess = nullptr;
  void* m_hThread = nullptr;
  unsigned long m_pid = 0;
  ZNFile m_errorStream;
  std::unique_ptr<Child> m_child;
  yq::UniqueFd m_childInput;   // our write end of the child's standard input
  yq::UniqueFd m_childOutput;  // our read end of its standard output
  yq::UniqueFd m_childError;   // our read end of its standard error
};
