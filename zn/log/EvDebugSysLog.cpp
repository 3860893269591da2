// The system log, raw writes, the formatted record line, the catalogue
// lookups and the log's process-wide fields.

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "zn/log/EvDebug.h"
#include "zn/log/internal/EvDebugIdentity.h"
#include "zn/log/internal/EvDebugState.h"
#include "zn/log/LogCatalogue.h"
#include "zn/util/ZnProcessName.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXThreadId.h"
#include "zuzazer/YqWin32Errors.h"

using zn::detail::LogState;

char EvDebug::c_hostName[260] = "";
char EvDebug::c_clientName[260] = "";
char EvDebug::c_processName[256] = "";
long EvDebug::c_processId = 0;
std::string EvDebug::c_hostIP;
std::string EvDebug::c_NicMac;
std::string EvDebug::sHSHostName;
std::string EvDebug::sHSClientName;
std::string EvDebug::sVersion;
int EvDebug::c_ServicePackVer = 0;
std::atomic<bool> EvDebug::m_bLogToSTDOUT{false};
std::atomic<bool> EvDebug::cc2stderr{false};
std::atomic<bool> EvDebug::zndMonitoringInitialized{false};
std::atomic<bool> EvDebug::m_bTurnOffAllLogs{false};

namespace zn::detail {

void SysLogCallback(const char* text) {
  // openlog keeps the ident pointer: it must live as long as the process.
  static yq::NoDestructor<std::string> ident(zn::RunningProcessName());
  static std::once_flag opened;
  std::call_once(opened, [] { ::openlog(ident->c_str(), LOG_PID, LOG_DAEMON); });
  ::syslog(LOG_DAEMON | LOG_INFO, "%s", text != nullptr ? text : "");
}

}  // namespace zn::detail

void EvDebug::ReportToSysLog(const char* text) {
  if (text == nullptr) return;
  EvDebugFileInstance& instance = LogState().defaultInstance;
  if (instance.m_state.load() == EvDebugFileInstance::kOpen) {
    if (CYqLogger* writer = instance.m_writer.load()) {
      writer->LogMessageSyslog(text);
      return;
    }
  }
  // No process log: a short-lived writer that only reaches the system log.
  CYqLogger temporary;
  const char* focus = ZNPI_Focus::getFocus();
  temporary.SetPlatformInformation(c_hostName, c_hostName, c_clientName, sHSHostName, sHSClientName, "", "",
                                   GetProductVersion(), focus != nullptr ? focus : "",
                                   zn::RunningProcessName(), static_cast<long>(::getpid()));
  temporary.SetSyslogCallback(&zn::detail::SysLogCallback);
  temporary.LogMessageSyslog(text);
}

void EvDebug::logMessage(char* text) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance->m_state.load() != EvDebugFileInstance::kOpen) return;
  if (CYqLogger* writer = instance->m_writer.load()) writer->LogMessage(text);
}

void EvDebug::printStringFormatted(MsgEventFormatted* record, char* out) {
  if (out == nullptr) return;
  if (record == nullptr) {
    out[0] = '\0';
    return;
  }
  char stamp[20];
  std::snprintf(stamp, sizeof stamp, "%.10s %.8s", record->date, record->time);
  std::snprintf(out, kFormattedRecordMax, "%ld %4lx %s %s", c_processId,
                static_cast<unsigned long>(yq::CurrentThreadId()), stamp,
                record->message != nullptr ? record->message : "");
}

unsigned int EvDebug::getLogId(const char* name) {
  if (name == nullptr) return kInvalidLogId;
  const unsigned int id = zn::LogIdForName(name);
  if (zn::FindLogById(id) == nullptr) {
    const std::string text =
        std::string(name) + ":This log file is not found in the internal list. Please add to the Build system.";
    ReportToSysLog(text.c_str());
  }
  return id;
}

CYqError EvDebug::GetLogName(unsigned int logId, const std::string& suffix, std::string& name) {
  const ZNLogFileInfo* row = zn::FindLogById(logId);
  if (row == nullptr) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "Couldn't find the log name for id:[%u]",
                                   logId);
  }
  name = suffix.empty() ? std::string(row->name) : std::string(row->name) + "-" + suffix;
  return CYqError::Success();
}

const ZNLogFileInfo* EvDebug::GetLogFileInfo(unsigned int logId) { return zn::FindLogById(logId); }
