// A thread of the utility library. It carries the log writer of the thread
// that starts it: the new thread writes its utility lines through a thread
// writer made, on the new thread, from the starter's current writer, so a
// caller's redirection of the log follows the work into the thread.
#pragma once

#include <functional>
#include <thread>

#include <boost/shared_ptr.hpp>

#include "zuzazer/CLogWriterInterface.h"
#include "zuzazer/YqExport.h"

class YQ_EXPORT FXThread {
 public:
  // Starts `body`; an exception escaping it is logged as a utility line.
  // Throws std::system_error when no thread can be made.
  explicit FXThread(std::function<void()> body);
  // Joins a thread that was not joined.
  ~FXThread();
  FXThread(const FXThread&) = delete;
  FXThread& operator=(const FXThread&) = delete;

  void Join();

 private:
  std::thread m_thread;
};
