// The exception thrown by buffers, streams, locks and the cryptography
// classes: the operation's name, a message, the source file's base name, the
// line and an error number. Every construction writes one line to the
// process log.
#pragma once

#include <exception>
#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZnException : public std::exception {
 public:
  ZnException(const char* function, const char* message, const char* file, int line = -1, int errorNumber = 0);
  ZnException(const char* function, const std::string& message, const char* file, int line = -1,
              int errorNumber = 0);
  ZnException(const ZnException& other);
  ZnException& operator=(const ZnException& other);
  ~ZnException() override;

  const char* getFuncName() const { return m_function.c_str(); }
  const char* getMessage() const { return m_message.c_str(); }
  const char* getFileName() const { return m_file.c_str(); }
  int getLineNum() const { return m_line; }
  int getErrno() const { return m_errno; }

  // "<function>(): <message>"
  std::string formatError() const;
  const char* what() const noexcept override { return m_message.c_str(); }

 protected:
  void setMessage(const char* message);

 private:
  void init(const char* function, const char* message, const char* file, int line, int errorNumber);

  std::string m_function;
  std::string m_message;
  std::string m_file;
  int m_line = -1;
  int m_errno = 0;
};
