// The sink of the utility library's own diagnostic lines. A program hands
// the library a writer (g_ptrLogWriter); the library writes every line of
// its own through it, or through the writer a thread asked for with
// yq::ThreadLogWriter. Until a program installs one, the lines go to a
// null writer.
#pragma once

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>

#include <boost/shared_ptr.hpp>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

// The slots in the order their callers rely on: 0 destructor, 1 Initialize,
// 2 SetLogAppName, 3 SetLogFileName, 4 LogMessage, 5 LogMessageV,
// 6 RefreshSettings, 7 GetDebugLevel, 8 SetDebugLevel, 9 GetDebugMask,
// 10 SetDebugMask, 11 CreateThreadWriter.
class YQ_EXPORT CLogWriterInterface {
 public:
  virtual ~CLogWriterInterface();
  virtual CYqError Initialize(const std::string& appName, const std::string& fileName, int debugLevel) = 0;
  virtual void SetLogAppName(const std::string& appName) = 0;
  virtual void SetLogFileName(const std::string& fileName) = 0;
  // One line; non-zero when the writer took it.
  virtual int LogMessage(int level, const char* function, unsigned long line, long long jobId, const char* context,
                         const char* format, ...) __attribute__((format(printf, 7, 8))) = 0;
  virtual int LogMessageV(int level, const char* function, unsigned long line, long long jobId, const char* context,
                          const char* format, va_list args) = 0;
  // Re-reads the writer's settings; non-zero when it did.
  virtual int RefreshSettings() = 0;
  virtual int GetDebugLevel() = 0;
  // Non-zero when the level was taken.
  virtual int SetDebugLevel(int level) = 0;
  virtual unsigned long GetDebugMask() = 0;
  virtual void SetDebugMask(unsigned long mask) = 0;
  // A writer for the calling thread, to be kept and released on it.
  virtual boost::shared_ptr<CLogWriterInterface> CreateThreadWriter() = 0;
};

// Keeps the names and the mask; what a line does is the deriving writer's.
class YQ_EXPORT CLogWriterWrapperBase : public CLogWriterInterface {
 public:
  ~CLogWriterWrapperBase() override;
  // Records the names; the level is the deriving writer's own business.
  CYqError Initialize(const std::string& appName, const std::string& fileName, int debugLevel) override;
  void SetLogAppName(const std::string& appName) override;
  void SetLogFileName(const std::string& fileName) override;
  unsigned long GetDebugMask() override;
  void SetDebugMask(unsigned long mask) override;

  std::string GetLogAppName() const;
  std::string GetLogFileName() const;

 private:
  mutable std::mutex m_namesLock;  // the names may change while lines are written
  std::string m_appName;
  std::string m_fileName;
  std::atomic<unsigned long> m_debugMask{0};
};

// A thread writer that hands every call on to the writer it was made from.
class YQ_EXPORT CLogWriterInterfaceThreadWrapper : public CLogWriterInterface {
 public:
  explicit CLogWriterInterfaceThreadWrapper(boost::shared_ptr<CLogWriterInterface> parent);
  ~CLogWriterInterfaceThreadWrapper() override;

  CYqError Initialize(const std::string& appName, const std::string& fileName, int debugLevel) override;
  void SetLogAppName(const std::string& appName) override;
  void SetLogFileName(const std::string& fileName) override;
  int LogMessage(int level, const char* function, unsigned long line, long long jobId, const char* context,
                 const char* format, ...) override __attribute__((format(printf, 7, 8)));
  int LogMessageV(int level, const char* function, unsigned long line, long long jobId, const char* context,
                  const char* format, va_list args) override;
  int RefreshSettings() override;
  int GetDebugLevel() override;
  int SetDebugLevel(int level) override;
  unsigned long GetDebugMask() override;
  void SetDebugMask(unsigned long mask) override;
  boost::shared_ptr<CLogWriterInterface> CreateThreadWriter() override;

  const boost::shared_ptr<CLogWriterInterface>& GetParent() const { return m_parent; }

 private:
  boost::shared_ptr<CLogWriterInterface> m_parent;
};

// A writer that drops everything and returns 0.
YQ_EXPORT boost::shared_ptr<CLogWriterInterface> CreateNullLogWriter();

// The library's sink. It lives as long as the process (never destroyed, so
// a writer of a library unloaded at exit is not called into after it has
// gone); read and replace it with boost::atomic_load/atomic_store, or with
// yq::GetLogWriter/SetLogWriter, while other threads may write lines.
YQ_EXPORT extern boost::shared_ptr<CLogWriterInterface>& g_ptrLogWriter;

namespace yq {

YQ_EXPORT boost::shared_ptr<CLogWriterInterface> GetLogWriter();
// Installs `writer` (null means the null writer) and returns the one it
// replaced.
YQ_EXPORT boost::shared_ptr<CLogWriterInterface> SetLogWriter(boost::shared_ptr<CLogWriterInterface> writer);
// Replaces the sink only while it is still `expected`; true when it did.
YQ_EXPORT bool ReplaceLogWriterIf(const CLogWriterInterface* expected, boost::shared_ptr<CLogWriterInterface> writer);

// The writer this thread's lines go to: its thread writer, else the sink.
YQ_EXPORT boost::shared_ptr<CLogWriterInterface> CurrentLogWriter();

// Writes one of the utility library's own lines. A line written while this
// thread is already inside a writer (the writer logging about itself) is
// dropped rather than sent round again.
YQ_EXPORT void LogLine(int level, const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));

// While it lives, this thread's utility lines go to a thread writer that
// `writer` made on this thread (with null: the writer this thread writes
// through now). Made and destroyed on one thread; scopes nest.
class YQ_EXPORT ThreadLogWriter {
 public:
  explicit ThreadLogWriter(boost::shared_ptr<CLogWriterInterface> writer = nullptr);
  ~ThreadLogWriter();
  ThreadLogWriter(const ThreadLogWriter&) = delete;
  ThreadLogWriter& operator=(const ThreadLogWriter&) = delete;

  const boost::shared_ptr<CLogWriterInterface>& writer() const { return m_writer; }

 private:
  boost::shared_ptr<CLogWriterInterface> m_writer;
  const ThreadLogWriter* m_previous;
};

}  // namespace yq
