// Job records are written by one program and read back by every other
// (monitors, `znadmin jobs`), so a reader must take whatever another
// program, an old version or a damaged store left in an entry: any value
// under any of the record's names, of any type and length. Reading never
// crashes and answers 1 or 0; an entry it cannot read is left out of the
// list, never half filled.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <string>

#include "zn/config/ZNPI_Jobinfo.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"

namespace {

constexpr const char* kNames[] = {
    "sDisplayName", "nLastBackupStartTime", "nLastSuccessfulBackupTime", "nNextBackupTime", "nPhaseStartTime",
    "nServerElapsedTime", "nBackupJobState", "nBackupJobStartedStatus", "nBackupJobPhaseCnt", "nNojobReason",
    "nNojobReasonAddlInfoCnt", "sNojobReasonAddlInfo", "sNojobReasonAddlInfo1", "nLastBackupSuccessFiles",
    "nLastBackupFailedFiles", "nLastBackupBytes", "nLastBackupJobId", "nLastBackupJobStatus", "nRunningJobId",
    "nRunningJobPid", "nRunningJobProcessName", "nPerfctrJobPhase", "nPerfctrJobPerf", "nPerfctrPercent",
    "nPerfctrFilesCount", "nPerfctrFilesCountTot", "nPerfctrBytesCount", "nPerfctrBytesCountTot",
    "sPerfctrCurrFile"};

bool OneOrZero(int result) { return result == 0 || result == 1; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/zn-fuzz-jobs-XXXXXX";
  if (::mkdtemp(folder) == nullptr) std::abort();
  ::setenv("ZN_CONFIG_STORE", (std::string(folder) + "/config.db").c_str(), 1);
  ::setenv("ZN_FOCUS", "Instance001", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  ZNPI_Jobinfo jobs(0, 0);
  if (jobs.addApp(7, "fuzz", 1) != 1) std::abort();
  const std::string key = zn::ExpandInstanceKey("~Jobinfo\\7", zn::FocusedScope());
  zn::ConfigStore& store = zn::ConfigStore::ForThisThread();
  while (input.remaining_bytes() > 0) {
    const std::string name = input.ConsumeBool() ? input.PickValueInArray(kNames) : input.ConsumeRandomLengthString(40);
    const uint32_t type = input.ConsumeIntegralInRange<uint32_t>(0, 11);
    const std::string bytes = input.ConsumeRandomLengthString(64);
    if (store.writeValue(key, name, type, bytes) != zn::StoreStatus::kOk) std::abort();
  }

  std::list<znpiAppInfo> entries;
  const int listed = jobs.getClientsInfo(entries);
  if (!OneOrZero(listed) || entries.size() > 1 || (listed == 1 && entries.size() != 1)) std::abort();
  std::list<int> ids;
  if (jobs.getAppList(ids) != 1 || ids.size() != 1 || ids.front() != 7) std::abort();
  int phase = 0, percent = 0, number = 0, other = 0;
  unsigned long long perf = 0, files = 0, filesTotal = 0, bytesDone = 0, bytesTotal = 0;
  long long time = 0;
  std::string text;
  if (!OneOrZero(jobs.getPerfctrs(7, &phase, &perf, &percent, &files, &filesTotal, &bytesDone, &bytesTotal)) ||
      !OneOrZero(jobs.getDisplayName(7, text)) || !OneOrZero(jobs.getCurrFile(7, text)) ||
      !OneOrZero(jobs.getJob(7, number)) || !OneOrZero(jobs.getBackupJobStartedStatus(7, number, other)) ||
      !OneOrZero(jobs.getLastBackupStartTime(7, time)) || !OneOrZero(jobs.getLastBackupFiles(7, files, filesTotal)) ||
      !OneOrZero(jobs.getNoJobReason(7, number)) || !OneOrZero(jobs.getNoJobReasonAddlInfo(7, 1, text)) ||
      !OneOrZero(jobs.isAnyBackupRunning(number)) || !OneOrZero(jobs.getAppIdFromJobId(1, number))) {
    std::abort();
  }
  if (jobs.deleteAppAll() != 1) std::abort();
  return 0;
}
