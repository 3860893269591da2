#include "zn/error/ZnException.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "zn/log/EvDebug.h"

namespace {

constexpr const char* kUnknown = "unknown";
constexpr const char* kNoMemory = "Not enough memory";
// The log line is formatted into a bounded buffer; longer text is cut.
constexpr std::size_t kLogLineLimit = 4096;

// Copies `text` into `target`, or `fallback` when it is null or cannot be
// copied.
void CopyOr(std::string& target, const char* text, const char* fallback) {
  try {
    target = text != nullptr ? text : fallback;
  } catch (const std::bad_alloc&) {
    target = fallback;
  }
}

const char* BaseName(const char* path) {
  if (path == nullptr) return nullptr;
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  const char* last = slash > backslash ? slash : backslash;
  return last != nullptr ? last + 1 : path;
}

// The message goes through "%s" so that a '%' in it is written as it stands.
void WriteLine(const char* text) { EvDebug().debug("%s", text); }

}  // namespace

ZnException::ZnException(const char* function, const char* message, const char* file, int line, int errorNumber) {
  init(function, message, file, line, errorNumber);
}

ZnException::ZnException(const char* function, const std::string& message, const char* file, int line,
                         int errorNumber) {
  init(function, message.c_str(), file, line, errorNumber);
}

// A copy takes every field and logs nothing (only a thrown one is logged).
ZnException::ZnException(const ZnException& other) = default;
ZnException& ZnException::operator=(const ZnException& other) = default;

ZnException::~ZnException() = default;

void ZnException::init(const char* function, const char* message, const char* file, int line, int errorNumber) {
  CopyOr(m_function, function, kUnknown);
  CopyOr(m_message, message, kNoMemory);
  CopyOr(m_file, BaseName(file), kUnknown);
  m_line = line;
  m_errno = errorNumber;

  char text[kLogLineLimit];
  if (m_errno >= 1) {
    std::snprintf(text, sizeof text, "ZnException::init(): func_name=%s, file_name=%s, message='%s', errno= %d",
                  m_function.c_str(), m_file.c_str(), m_message.c_str(), m_errno);
  } else {
    std::snprintf(text, sizeof text, "ZnException::init(): func_name=%s, file_name=%s, message='%s'",
                  m_function.c_str(), m_file.c_str(), m_message.c_str());
  }
  WriteLine(text);
}

std::string ZnException::formatError() const { return m_function + "(): " + m_message; }

void ZnException::setMessage(const char* message) {
  CopyOr(m_message, message, kNoMemory);
  char text[kLogLineLimit];
  std::snprintf(text, sizeof text, "ZnException::setMessage(): message='%s'", m_message.c_str());
  WriteLine(text);
}
