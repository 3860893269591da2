// Lifecycle of the process's logs and the accessors of a handle.

#include <string>

#include "zn/log/EvDebug.h"
#include "zn/log/internal/EvDebugModule.h"
#include "zn/log/internal/EvDebugState.h"
#include "zuzazer/CYqLogger.h"

using zn::detail::LogState;

namespace zn::detail {

void RetireWriterLocked(EvDebugState& state, std::size_t index) {
  std::unique_ptr<CYqLogger> writer = std::move(state.writers[index]);
  state.writers.erase(state.writers.begin() + static_cast<std::ptrdiff_t>(index));
  writer->CloseLogFile(true);
  writer->Retire();
  state.retiredWriters.push_back(std::move(writer));
}

}  // namespace zn::detail

bool EvDebug::IsInitialized() {
  if (m_instance == nullptr) return false;
  return resolveInstance()->m_state.load() == EvDebugFileInstance::kOpen;
}

bool EvDebug::canILogDebugMsgs() const {
  return m_instance != nullptr && m_instance->m_state.load() == EvDebugFileInstance::kOpen;
}

EvDebugFileInstance* EvDebug::GetFileInstance() const {
  return (m_flags & kFollowsDefault) != 0 ? nullptr : m_instance;
}

void EvDebug::CloseLogFile(bool final) {
  EvDebugFileInstance* instance = resolveInstance();
  ZnCriticalSectionLock lock(&LogState().writerListLock);
  if (CYqLogger* writer = instance->m_writer.load()) writer->CloseLogFile(final);
}

void EvDebug::finalize() {
  auto& state = LogState();
  ZnCriticalSectionLock lock(&state.writerListLock);
  for (const auto& writer : state.writers) writer->CloseLogFile(true);
}

void EvDebug::CleanupDefaultFileHandle() {
  auto& state = LogState();
  ZnCriticalSectionLock lock(&state.writerListLock);
  EvDebugFileInstance& instance = state.defaultInstance;
  CYqLogger* writer = instance.m_writer.load();
  if (writer == nullptr) return;
  for (std::size_t i = 0; i < state.writers.size(); ++i) {
    if (state.writers[i]->GetAppName() == writer->GetAppName()) {
      zn::detail::RetireWriterLocked(state, i);
      break;
    }
  }
  instance.m_state.store(EvDebugFileInstance::kConstructed);
  instance.m_writer.store(nullptr);
}

void EvDebug::CleanupFileHandleList() {
  auto& state = LogState();
  ZnCriticalSectionLock lock(&state.writerListLock);
  while (!state.writers.empty()) zn::detail::RetireWriterLocked(state, state.writers.size() - 1);
  state.defaultInstance.m_state.store(EvDebugFileInstance::kConstructed);
  state.defaultInstance.m_writer.store(nullptr);
}

void EvDebug::ResetFileHandleList() {
  auto& state = LogState();
  ZnCriticalSectionLock lock(&state.writerListLock);
  // The writers live on (instances may still use them); only the list
  // forgets them.
  for (auto& writer : state.writers) state.retiredWriters.push_back(std::move(writer));
  state.writers.clear();
}

void EvDebug::setModuleName(const char* name) {
  EvDebugFileInstance* instance = resolveInstance();
  {
    ZnCriticalSectionLock lock(&LogState().settingsLock);
    instance->m_moduleName = name != nullptr ? name : "";
  }
  refreshDebugLevel();
}

std::string EvDebug::getModuleName() { return zn::detail::ModuleNameOf(*resolveInstance()); }

std::string EvDebug::getApplicationName() {
  EvDebugFileInstance* instance = resolveInstance();
  return instance->m_state.load() == EvDebugFileInstance::kOpen ? zn::detail::ModuleNameOf(*instance) : std::string();
}

void EvDebug::setJobId(long long jobId) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance == &LogState().defaultInstance && ZNPI_Focus::AmIAService() != 0) {
    DebugLvl("EvDebug::setJobId", 7, "Trying to set a global job id for the process that is marked as service.");
    return;
  }
  instance->m_jobId.store(jobId);
}

long long EvDebug::getJobId() { return resolveInstance()->m_jobId.load(); }

void EvDebug::setPrefixMessage(const char* text) {
  EvDebugFileInstance* instance = resolveInstance();
  {
    ZnCriticalSectionLock lock(&LogState().settingsLock);
    instance->m_prefixMessage = text != nullptr ? text : "";
    instance->m_hasPrefixMessage.store(!instance->m_prefixMessage.empty());
  }
  refreshDebugLevel();
}

namespace {

CYqLogger* OpenWriterOf(EvDebugFileInstance* instance) {
  return instance->m_state.load() == EvDebugFileInstance::kOpen ? instance->m_writer.load() : nullptr;
}

}  // namespace

void EvDebug::setLogToSTDOUT(bool on) {
  m_bLogToSTDOUT.store(on);
  if (CYqLogger* writer = OpenWriterOf(resolveInstance())) writer->SetLogToStdout(on);
}

void EvDebug::SetRetryOnLogOpenFail(bool on) {
  if (CYqLogger* writer = OpenWriterOf(resolveInstance())) writer->SetRetryOnLogOpenFail(on);
}

void EvDebug::setAccessMethod(int method) {
  if (CYqLogger* writer = OpenWriterOf(resolveInstance())) writer->SetKeepLogFileOpen(method != kAccessReopen);
}

int EvDebug::getAccessMethod() {
  CYqLogger* writer = OpenWriterOf(resolveInstance());
  if (writer == nullptr) return 0;
  return writer->GetKeepLogFileOpen() ? kAccessKeepOpen : kAccessReopen;
}

bool EvDebug::canUserWriteToLog() {
  CYqLogger* writer = OpenWriterOf(resolveInstance());
  return writer != nullptr && writer->CanUserWriteToLog();
}

bool EvDebug::canUserWriteToPath(const char* directory) {
  if (directory == nullptr || directory[0] == '\0') return false;
  CYqLogger scratch;
  if (scratch.Initialize("EvDebugTestFile.txt", directory, 1, false, true).IsError()) return false;
  return scratch.CanUserWriteToLog();
}

int EvDebug::GetLoggingMode() {
  CYqLogger* writer = OpenWriterOf(resolveInstance());
  return writer != nullptr ? writer->GetLoggingMode() : 0;
}

void EvDebug::SetLoggingMode(int mode) {
  if (CYqLogger* writer = OpenWriterOf(resolveInstance())) writer->SetLoggingMode(mode);
}

std::string EvDebug::getLogFilePath() {
  CYqLogger* writer = OpenWriterOf(resolveInstance());
  return writer != nullptr ? writer->GetLogFilePath() : std::string();
}

const char* EvDebug::getHostName() { return c_hostName; }
const char* EvDebug::getClientName() { return c_clientName; }
const char* EvDebug::getProcessName() { return c_processName; }
long EvDebug::getProcessId() { return c_processId; }
std::string EvDebug::getIPString() { return c_hostIP; }
std::string EvDebug::getMACAddress() { return c_NicMac; }
int EvDebug::getServicePackVersion() { return c_ServicePackVer; }
