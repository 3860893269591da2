// Capping the CPU rate of the calling process: a cgroup v2 group below the
// process's own with cpu.max set, and the process moved into it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/process/ZnProcess.h"
#include "zn/process/internal/CpuGroup.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr const char* kFunction = "LimitProcCPURate";
// The size of the original's rate-control record, kept in its message.
constexpr int kRateInfoSize = 8;
constexpr int kPeriodMicroseconds = 100000;

std::string ReadWhole(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` to a control file in one write. 0 or errno.
int WriteControl(const std::string& path, const std::string& text) {
  yq::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd) return errno;
  const ssize_t n = ::write(fd.get(), text.data(), text.size());
  if (n < 0) return errno;
  if (static_cast<std::size_t>(n) != text.size()) return EIO;
  return fd.close() == 0 ? 0 : errno;
}

bool ControllerListed(const std::string& path, const char* controller) {
  std::istringstream words(ReadWhole(path.c_str()));
  std::string word;
  while (words >> word) {
    if (word == controller) return true;
  }
  return false;
}

int Win32(int errnum) { return static_cast<int>(yq::Win32FromErrno(errnum, true)); }

}  // namespace

int ZnProcess::LimitCPURate(const char* group, int percent) {
  EvDebug log;
  if (percent < 1 || percent > 99) {
    log.Error(kFunction, "Error: Invalid CPU rate limit specified. Limit [%d]", percent);
    return -1;
  }
  if (group == nullptr) {
    log.Error(kFunction, "Error: Invalid CPU rate limit grp name specified.");
    return -1;
  }
  const std::string mount = zn::detail::CgroupTwoMount(ReadWhole("/proc/self/mountinfo"));
  const std::string own = zn::detail::CgroupTwoPath(ReadWhole("/proc/self/cgroup"));
  if (!zn::detail::IsValidGroupName(group) || mount.empty() || own.empty()) {
    const int code = !zn::detail::IsValidGroupName(group) ? static_cast<int>(yq::kErrorInvalidName)
                                                          : static_cast<int>(yq::kErrorPathNotFound);
    log.Error(kFunction, "Failed to create job object for Grp [%s], CPU rate limit [%d]. Err [%d]", group, percent,
              code);
    return -1;
  }
  const std::string parent = mount + (own == "/" ? std::string() : own);
  const std::string directory = parent + "/" + group;
  bool created = false;
  if (::mkdir(directory.c_str(), 0755) == 0) {
    created = true;
  } else if (errno != EEXIST) {
    log.Error(kFunction, "Failed to create job object for Grp [%s], CPU rate limit [%d]. Err [%d]", group, percent,
              Win32(errno));
    return -1;
  }
  auto dropGroup = [&] {
    if (created) ::rmdir(directory.c_str());
  };

  int rc = 0;
  if (!ControllerListed(directory + "/cgroup.controllers", "cpu")) {
    rc = WriteControl(parent + "/cgroup.subtree_control", "+cpu");
  }
  if (rc == 0) {
    rc = WriteControl(directory + "/cpu.max", std::to_string(percent * 1000) + " " + std::to_string(kPeriodMicroseconds));
  }
  if (rc != 0) {
    log.Error(kFunction, "Failed to set job object info for CPU rate limit [%d]. Size [%d], Err [%d].", percent,
              kRateInfoSize, Win32(rc));
    dropGroup();
    return -1;
  }
  if ((rc = WriteControl(directory + "/cgroup.procs", "0")) != 0) {
    log.Error(kFunction, "Failed to assign job object for CPU rate limit [%d]. Err [%d]", percent, Win32(rc));
    dropGroup();
    return -1;
  }
  log.DebugLvl(kFunction, 0, "Successfully set CPU limit for current process to [%d]", percent);
  return 0;
}
