// The utility library's writer over an EvDebug handle, and its thread
// writer.

#include "zn/log/CEvDebugWrapper.h"

#include <boost/make_shared.hpp>
#include <utility>

CEvDebugWrapper::CEvDebugWrapper(boost::shared_ptr<EvDebug> handle) : m_handle(std::move(handle)) {}

CEvDebugWrapper::~CEvDebugWrapper() = default;

int CEvDebugWrapper::LogMessage(int level, const char* function, unsigned long line, long long jobId,
                                const char* context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int taken = LogMessageV(level, function, line, jobId, context, format, args);
  va_end(args);
  return taken;
}

// Every call works on a copy of the handle: a handle records the thread
// that last resolved it, and this one is shared by every thread.
int CEvDebugWrapper::LogMessageV(int level, const char* function, unsigned long line, long long jobId,
                                 const char* context, const char* format, va_list args) {
  if (!m_handle) return 0;
  EvDebug handle(*m_handle);
  handle.handleMsgEventDebug_NEW(level, function, line, -1, jobId, context, format, args);
  return 1;
}

int CEvDebugWrapper::RefreshSettings() {
  if (!m_handle) return 0;
  EvDebug(*m_handle).refreshAllParams();
  return 1;
}

int CEvDebugWrapper::GetDebugLevel() { return m_handle ? EvDebug(*m_handle).getDebugLevel() : 0; }

int CEvDebugWrapper::SetDebugLevel(int level) {
  if (!m_handle) return 0;
  EvDebug(*m_handle).setDebugLevel(level);
  return 1;
}

boost::shared_ptr<CLogWriterInterface> CEvDebugWrapper::CreateThreadWriter() {
  // A wrapper not held by a shared pointer hands its thread writer a twin.
  boost::shared_ptr<CLogWriterInterface> parent = weak_from_this().lock();
  if (!parent) parent = boost::make_shared<CEvDebugWrapper>(m_handle);
  return boost::make_shared<CEvDebugThreadInstanceWrapper>(std::move(parent), m_handle);
}

CEvDebugThreadInstanceWrapper::CEvDebugThreadInstanceWrapper(boost::shared_ptr<CLogWriterInterface> parent,
                                                             boost::shared_ptr<EvDebug> handle)
    : CLogWriterInterfaceThreadWrapper(std::move(parent)), m_handle(std::move(handle)) {
  if (m_handle) {
    if (EvDebugFileInstance* instance = m_handle->GetFileInstance()) {
      m_threadInstance = boost::make_shared<ThLvlEvDebugFileInstance>(instance);
    }
  }
}

CEvDebugThreadInstanceWrapper::~CEvDebugThreadInstanceWrapper() = default;
