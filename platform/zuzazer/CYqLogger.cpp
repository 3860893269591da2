#include "zuzazer/CYqLogger.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXString.h"
#include "zuzazer/LogFileAppender.h"
#include "zuzazer/LogLineFormat.h"
#include "zuzazer/YqSleep.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

std::atomic<bool> g_showLogLevel{false};
std::atomic<YqLogMessageHook> g_logMessageHook{nullptr};

constexpr std::size_t kLineBufferSize = 4096;
constexpr unsigned long long kMegabyte = 1024ULL * 1024ULL;
constexpr int kOpenRetries = 3;
constexpr unsigned long kOpenRetryPauseMs = 20;

std::string PrefixedLine(const char* function, const std::string& text) {
  char prefix[512];
  yq::LogLineFields fields;
  fields.function = function;
  const std::size_t length = yq::FormatLogLinePrefix(prefix, sizeof prefix, fields);
  return std::string(prefix, length) + text + "\n";
}

// A message ends in exactly one line end, whatever the caller gave.
std::size_t TrimLineEnds(const char* text, std::size_t length) {
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  return length;
}

}  // namespace

CYqLogger::CYqLogger() = default;

CYqLogger::~CYqLogger() = default;

CYqError CYqLogger::Initialize(const std::string& fileBaseName, const std::string& directory, int debugLevel,
                               bool copyToStderr, bool scratch) {
  if (fileBaseName.empty() || fileBaseName.find('/') != std::string::npos) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidName, "Invalid log file name [%s]",
                                   fileBaseName.c_str());
  }
  // Room for the longest version name: "_YYYYMMDDhhmmss.log.zip".
  constexpr std::size_t kVersionSuffix = 23;
  if (fileBaseName.size() + kVersionSuffix > NAME_MAX) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorFilenameExcedRange,
                                   "Log file name [%.64s...] is too long (%zu characters)", fileBaseName.c_str(),
                                   fileBaseName.size());
  }
  if (directory.empty()) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorPathNotFound, "No log folder given for [%s]",
                                   fileBaseName.c_str());
  }
  if (m_appender) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorAlreadyExists, "Log writer [%s] is already initialized",
                                   m_baseName.c_str());
  }
  m_baseName = fileBaseName;
  m_directory = directory;
  m_lockName = GetLockName(fileBaseName, directory);
  m_copyToStderr = copyToStderr;
  m_scratch = scratch;
  m_level.store(debugLevel);
  m_appender = std::make_unique<yq::LogFileAppender>(
      directory, fileBaseName, scratch ? yq::LogFileAppender::HeaderSource() : [this] { return header(); });
  return CYqError::Success();
}

void CYqLogger::LogMessageV(int level, long auxiliary, const char* function, unsigned long line, long long jobId,
                            const char* context, const char* format, va_list args) {
  if (level > GetLevel()) return;
  char buffer[kLineBufferSize];
  yq::LogLineFields fields;
  fields.level = level;
  fields.auxiliary = auxiliary;
  fields.function = function;
  fields.line = line;
  fields.jobId = jobId;
  fields.context = context;
  fields.showLevel = g_showLogLevel.load(std::memory_order_relaxed);
  const std::size_t prefixLength = yq::FormatLogLinePrefix(buffer, sizeof buffer, fields);

  va_list first;
  va_copy(first, args);
  const int messageLength =
      FXString::FormatToBuffer(buffer + prefixLength, sizeof buffer - prefixLength - 1, format, first);
  va_end(first);
  if (messageLength < 0) {
    static const char kUnprintable[] = "[message could not be formatted]";
    std::string text(buffer, prefixLength);
    text += kUnprintable;
    text += format != nullptr ? std::string(" format=[") + format + "]" : std::string();
    text += '\n';
    emit(level, text.c_str(), text.size());
    return;
  }
  const std::size_t total = prefixLength + static_cast<std::size_t>(messageLength);
  if (total + 1 < sizeof buffer) {
    const std::size_t length = TrimLineEnds(buffer, total);
    buffer[length] = '\n';
    buffer[length + 1] = '\0';
    emit(level, buffer, length + 1);
    return;
  }
  // Longer than the stack buffer: format again into one of the right size.
  std::string text(buffer, prefixLength);
  text.resize(total + 1);
  va_list second;
  va_copy(second, args);
  FXString::FormatToBuffer(text.data() + prefixLength, text.size() - prefixLength, format, second);
  va_end(second);
  text.resize(TrimLineEnds(text.data(), total));
  text += '\n';
  emit(level, text.c_str(), text.size());
}

void CYqLogger::LogMessage(int level, long auxiliary, const char* function, unsigned long line, long long jobId,
                           const char* context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogMessageV(level, auxiliary, function, line, jobId, context, format, args);
  va_end(args);
}

void CYqLogger::LogMessage(const char* text) {
  if (text == nullptr) return;
  std::string line(text, TrimLineEnds(text, std::strlen(text)));
  line += '\n';
  emit(0, line.c_str(), line.size());
}

void CYqLogger::LogMessageSyslog(const char* text) {
  if (text == nullptr) return;
  const std::string line = PrefixedLine("Syslog", std::string(text, TrimLineEnds(text, std::strlen(text))));
  emit(-1, line.c_str(), line.size());
  if (const YqSyslogCallback callback = m_syslogCallback.load()) callback(text);
}

void CYqLogger::emit(int level, const char* line, std::size_t length) {
  if (m_retired.load(std::memory_order_relaxed)) return;
  if (const YqLogMessageHook hook = g_logMessageHook.load(std::memory_order_acquire)) {
    if (hook(this, level, line)) return;
  }
  if (m_logToStdout.load(std::memory_order_relaxed)) (void)::write(STDOUT_FILENO, line, length);
  if (m_copyToStderr) (void)::write(STDERR_FILENO, line, length);
  if (!m_appender) return;

  yq::LogFileLimits limits;
  limits.maxBytes = m_maxBytes.load(std::memory_order_relaxed);
  limits.maxVersions = m_maxVersions.load(std::memory_order_relaxed);
  limits.retainSeconds = m_retainSeconds.load(std::memory_order_relaxed);
  const bool keepOpen = m_keepOpen.load(std::memory_order_relaxed);
  const bool durable = m_loggingMode.load(std::memory_order_relaxed) == kLoggingModeDurable;
  int err = m_appender->append(std::string_view(line, length), limits, keepOpen, durable);
  for (int retry = 0; err != 0 && retry < kOpenRetries && m_retryOnOpenFail.load(); ++retry) {
    YQSLEEP(kOpenRetryPauseMs);
    err = m_appender->append(std::string_view(line, length), limits, keepOpen, durable);
  }
  if (err != 0) {
    reportFailure(err);
  } else {
    m_failureReported.store(false, std::memory_order_relaxed);
  }
}

void CYqLogger::reportFailure(int err) {
  // Once per run of failures, so a full disk does not flood the system log.
  if (m_failureReported.exchange(true)) return;
  const std::string text = "Cannot write log file [" + GetLogFilePath() + "]: " + yq::ErrnoText(err);
  if (const YqSyslogCallback callback = m_syslogCallback.load()) {
    callback(text.c_str());
  } else {
    (void)::write(STDERR_FILENO, (text + "\n").c_str(), text.size() + 1);
  }
}

void CYqLogger::CloseLogFile(bool /*final*/) {
  if (m_appender) m_appender->close();
}

void CYqLogger::Retire() {
  m_retired.store(true);
  if (m_appender) m_appender->close();
}

void CYqLogger::SetLogFileSize(unsigned long long megabytes) { m_maxBytes.store(megabytes * kMegabyte); }

unsigned long long CYqLogger::GetLogFileSize() const { return m_maxBytes.load() / kMegabyte; }

void CYqLogger::SetLoggingMode(int mode) {
  if (mode == kLoggingModeDirect || mode == kLoggingModeDurable) m_loggingMode.store(mode);
}

void CYqLogger::SetPlatformInformation(const std::string& hostName, const std::string& hostNameAgain,
                                       const std::string& clientName, const std::string& hubServerHostName,
                                       const std::string& hubServerClientName, const std::string& osText,
                                       const std::string& addressText, const std::string& productVersion,
                                       const std::string& focus, const std::string& processName, long processId) {
  std::string identity;
  identity += PrefixedLine("CYqLogger", "Host [" + hostName + "] Name [" + hostNameAgain + "] Client [" + clientName +
                                            "] Address [" + addressText + "]");
  identity += PrefixedLine("CYqLogger", "HubServer host [" + hubServerHostName + "] HubServer client [" +
                                            hubServerClientName + "]");
  identity += PrefixedLine("CYqLogger", "Process [" + processName + "] Pid [" + std::to_string(processId) +
                                            "] Focus [" + focus + "] Version [" + productVersion + "]");
  identity += PrefixedLine("CYqLogger", "OS [" + osText + "]");
  std::lock_guard<std::mutex> lock(m_identityMutex);
  m_identity = std::move(identity);
}

void CYqLogger::SetProcessorInformation(const std::string& productType, const std::string& processorType,
                                        int number) {
  std::string line = PrefixedLine("CYqLogger", "Product type [" + productType + "] Processor [" + processorType +
                                                   "] Number [" + std::to_string(number) + "]");
  std::lock_guard<std::mutex> lock(m_identityMutex);
  m_processor = std::move(line);
}

std::string CYqLogger::header() const {
  std::string text = PrefixedLine("CYqLogger", "******** Log file [" + GetLogFilePath() + "] created ********");
  std::lock_guard<std::mutex> lock(m_identityMutex);
  return text + m_identity + m_processor;
}

bool CYqLogger::CanUserWriteToLog() const {
  if (m_directory.empty()) return false;
  if (FXFile::CreateDirectories(m_directory).IsError()) return false;
  return ::access(m_directory.c_str(), W_OK | X_OK) == 0;
}

std::string CYqLogger::GetLogFilePath() const { return FXPath::Append(m_directory, m_baseName + ".log"); }

std::string CYqLogger::GetLockName(const std::string& moduleName, const std::string& directory) {
  return FXPath::Append(directory, moduleName);
}

void CYqLogger::SetShowLogLevel(bool on) { g_showLogLevel.store(on); }

bool CYqLogger::GetShowLogLevel() { return g_showLogLevel.load(); }

void CYqLogger::SetLogMessageHook(YqLogMessageHook hook) { g_logMessageHook.store(hook, std::memory_order_release); }
