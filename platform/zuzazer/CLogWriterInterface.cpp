#include "zuzazer/CLogWriterInterface.h"

#include <boost/make_shared.hpp>
#include <utility>

#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXScopeExit.h"

namespace {

class CNullLogWriter final : public CLogWriterWrapperBase {
 public:
  int LogMessage(int, const char*, unsigned long, long long, const char*, const char*, ...) override { return 0; }
  int LogMessageV(int, const char*, unsigned long, long long, const char*, const char*, va_list) override {
    return 0;
  }
  int RefreshSettings() override { return 0; }
  int GetDebugLevel() override { return 0; }
  int SetDebugLevel(int) override { return 0; }
  boost::shared_ptr<CLogWriterInterface> CreateThreadWriter() override { return CreateNullLogWriter(); }
};

// Never destroyed: a writer whose code lives in a library that goes away
// at exit must be replaced by that library, not destroyed by us after it.
boost::shared_ptr<CLogWriterInterface>& Sink() {
  static yq::NoDestructor<boost::shared_ptr<CLogWriterInterface>> sink(CreateNullLogWriter());
  return sink.get();
}

// The innermost ThreadLogWriter of this thread, and whether this thread is
// inside a writer now.
thread_local const yq::ThreadLogWriter* t_scope = nullptr;
thread_local int t_insideWriter = 0;

}  // namespace

boost::shared_ptr<CLogWriterInterface>& g_ptrLogWriter = Sink();

// ---- CLogWriterInterface ----

CLogWriterInterface::~CLogWriterInterface() = default;

// ---- CLogWriterWrapperBase ----

CLogWriterWrapperBase::~CLogWriterWrapperBase() = default;

CYqError CLogWriterWrapperBase::Initialize(const std::string& appName, const std::string& fileName,
                                           int /*debugLevel*/) {
  std::lock_guard<std::mutex> lock(m_namesLock);
  m_appName = appName;
  m_fileName = fileName;
  return CYqError::Success();
}

void CLogWriterWrapperBase::SetLogAppName(const std::string& appName) {
  std::lock_guard<std::mutex> lock(m_namesLock);
  m_appName = appName;
}

void CLogWriterWrapperBase::SetLogFileName(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(m_namesLock);
  m_fileName = fileName;
}

unsigned long CLogWriterWrapperBase::GetDebugMask() { return m_debugMask.load(); }

void CLogWriterWrapperBase::SetDebugMask(unsigned long mask) { m_debugMask.store(mask); }

std::string CLogWriterWrapperBase::GetLogAppName() const {
  std::lock_guard<std::mutex> lock(m_namesLock);
  return m_appName;
}

std::string CLogWriterWrapperBase::GetLogFileName() const {
  std::lock_guard<std::mutex> lock(m_namesLock);
  return m_fileName;
}

// ---- CLogWriterInterfaceThreadWrapper ----

CLogWriterInterfaceThreadWrapper::CLogWriterInterfaceThreadWrapper(boost::shared_ptr<CLogWriterInterface> parent)
    : m_parent(parent ? std::move(parent) : CreateNullLogWriter()) {}

CLogWriterInterfaceThreadWrapper::~CLogWriterInterfaceThreadWrapper() = default;

CYqError CLogWriterInterfaceThreadWrapper::Initialize(const std::string& appName, const std::string& fileName,
                                                      int debugLevel) {
  return m_parent->Initialize(appName, fileName, debugLevel);
}

void CLogWriterInterfaceThreadWrapper::SetLogAppName(const std::string& appName) { m_parent->SetLogAppName(appName); }

void CLogWriterInterfaceThreadWrapper::SetLogFileName(const std::string& fileName) {
  m_parent->SetLogFileName(fileName);
}

int CLogWriterInterfaceThreadWrapper::LogMessage(int level, const char* function, unsigned long line, long long jobId,
                                                 const char* context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int taken = m_parent->LogMessageV(level, function, line, jobId, context, format, args);
  va_end(args);
  return taken;
}

int CLogWriterInterfaceThreadWrapper::LogMessageV(int level, const char* function, unsigned long line,
                                                  long long jobId, const char* context, const char* format,
                                                  va_list args) {
  return m_parent->LogMessageV(level, function, line, jobId, context, format, args);
}

int CLogWriterInterfaceThreadWrapper::RefreshSettings() { return m_parent->RefreshSettings(); }

int CLogWriterInterfaceThreadWrapper::GetDebugLevel() { return m_parent->GetDebugLevel(); }

int CLogWriterInterfaceThreadWrapper::SetDebugLevel(int level) { return m_parent->SetDebugLevel(level); }

unsigned long CLogWriterInterfaceThreadWrapper::GetDebugMask() { return m_parent->GetDebugMask(); }

void CLogWriterInterfaceThreadWrapper::SetDebugMask(unsigned long mask) { m_parent->SetDebugMask(mask); }

boost::shared_ptr<CLogWriterInterface> CLogWriterInterfaceThreadWrapper::CreateThreadWriter() {
  return m_parent->CreateThreadWriter();
}

// ---- The sink ----

boost::shared_ptr<CLogWriterInterface> CreateNullLogWriter() { return boost::make_shared<CNullLogWriter>(); }

namespace yq {

boost::shared_ptr<CLogWriterInterface> GetLogWriter() { return boost::atomic_load(&Sink()); }

boost::shared_ptr<CLogWriterInterface> SetLogWriter(boost::shared_ptr<CLogWriterInterface> writer) {
  if (!writer) writer = CreateNullLogWriter();
  return boost::atomic_exchange(&Sink(), std::move(writer));
}

bool ReplaceLogWriterIf(const CLogWriterInterface* expected, boost::shared_ptr<CLogWriterInterface> writer) {
  if (!writer) writer = CreateNullLogWriter();
  boost::shared_ptr<CLogWriterInterface> current = boost::atomic_load(&Sink());
  while (current.get() == expected) {
    if (boost::atomic_compare_exchange(&Sink(), &current, writer)) return true;
  }
  return false;
}

boost::shared_ptr<CLogWriterInterface> CurrentLogWriter() {
  return t_scope != nullptr ? t_scope->writer() : GetLogWriter();
}

void LogLine(int level, const char* function, const char* format, ...) {
  if (t_insideWriter != 0 || format == nullptr) return;
  const boost::shared_ptr<CLogWriterInterface> writer = CurrentLogWriter();
  if (!writer) return;
  ++t_insideWriter;
  const ScopeExit leave([] { --t_insideWriter; });
  va_list args;
  va_start(args, format);
  writer->LogMessageV(level, function, 0, 0, nullptr, format, args);
  va_end(args);
}

ThreadLogWriter::ThreadLogWriter(boost::shared_ptr<CLogWriterInterface> writer) : m_previous(t_scope) {
  if (!writer) writer = CurrentLogWriter();
  m_writer = writer->CreateThreadWriter();
  if (!m_writer) m_writer = writer;
  t_scope = this;
}

ThreadLogWriter::~ThreadLogWriter() {
  t_scope = m_previous;
  m_writer.reset();  // on this thread, as a thread writer expects
}

}  // namespace yq
