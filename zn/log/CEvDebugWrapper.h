// The bridge that makes the utility library write its own lines into the
// process log: a writer of the utility library over an EvDebug handle.
// EvDebug::initialize installs one over the default handle as the utility
// library's sink (g_ptrLogWriter); a caller may make one over a handle bound
// to a specific instance and hand it to the utility library for a thread.
#pragma once

#include <cstdarg>
#include <memory>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include "zn/base/ZnExport.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/CLogWriterInterface.h"

class ZN_EXPORT CEvDebugWrapper : public CLogWriterWrapperBase,
                                  public boost::enable_shared_from_this<CEvDebugWrapper> {
 public:
  explicit CEvDebugWrapper(boost::shared_ptr<EvDebug> handle);
  ~CEvDebugWrapper() override;

  // The write path of EvDebug on the handle. Without a handle these do
  // nothing and return 0.
  int LogMessage(int level, const char* function, unsigned long line, long long jobId, const char* context,
                 const char* format, ...) override __attribute__((format(printf, 7, 8)));
  int LogMessageV(int level, const char* function, unsigned long line, long long jobId, const char* context,
                  const char* format, va_list args) override;
  int RefreshSettings() override;
  int GetDebugLevel() override;
  int SetDebugLevel(int level) override;
  // A CEvDebugThreadInstanceWrapper for the same handle, made on (and to be
  // released on) the calling thread.
  boost::shared_ptr<CLogWriterInterface> CreateThreadWriter() override;

  const boost::shared_ptr<EvDebug>& GetHandle() const { return m_handle; }

 private:
  boost::shared_ptr<EvDebug> m_handle;
};

// The thread writer of a CEvDebugWrapper. When the handle is bound to a
// specific instance, the thread that asked for this writer logs into that
// instance while the writer lives (a ThLvlEvDebugFileInstance pushed on that
// thread); it must be released on that thread.
class ZN_EXPORT CEvDebugThreadInstanceWrapper : public CLogWriterInterfaceThreadWrapper {
 public:
  CEvDebugThreadInstanceWrapper(boost::shared_ptr<CLogWriterInterface> parent, boost::shared_ptr<EvDebug> handle);
  ~CEvDebugThreadInstanceWrapper() override;

  bool RedirectsThread() const { return m_threadInstance != nullptr; }

 private:
  boost::shared_ptr<EvDebug> m_handle;
  boost::shared_ptr<ThLvlEvDebugFileInstance> m_threadInstance;
};
