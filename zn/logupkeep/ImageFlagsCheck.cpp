// Image debugging flags ("gflags") of the suite's own programs: each found
// flag set gets an expiry the first time it is seen, and is removed once the
// expiry has passed, so a forgotten debugging flag cannot slow a machine
// for good. A report of what is set goes to "GlobalFlagInfo.log".

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <list>
#include <map>
#include <set>
#include <string>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zn/logupkeep/LogSettingsTasks.h"
#include "zn/logupkeep/LogUpkeepTesting.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"
#include "zuzazer/FXUniqueDir.h"

namespace zn::detail {
namespace {

constexpr const char* kContext = "CheckGlobalFlags";
constexpr const char* kImageOptionsRoot = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
constexpr const char* kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kTimeoutsKey = "~Runtime\\gflags";
constexpr const char* kReportName = "GlobalFlagInfo.log";
constexpr long long kDay = 86400;
constexpr unsigned long kPoolTaggingFlag = 0x400;  // FLG_POOL_ENABLE_TAGGING

std::atomic<long long> g_nextCheck{0};

// The locale's date and time, as the Windows original prints it.
std::string TimeText(long long seconds) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  ::localtime_r(&time, &local);
  char text[128];
  return std::strftime(text, sizeof text, "%c", &local) > 0 ? text : std::to_string(seconds);
#pragma GCC diagnostic pop
}

// The suite's programs: the executable files of the installation's home
// folder.
bool SuitePrograms(EvDebug& log, std::set<std::string>& programs) {
  const std::string home = LogSettings::HomeDirectory();
  if (home.empty()) {
    log.Error(kContext, "Failed to get the base path.");
    return false;
  }
  const yq::UniqueDir dir = yq::OpenDir(home.c_str());
  if (!dir) {
    log.Error(kContext, "Failed to identify binaries in the base path. Error:%s", yq::ErrnoText(errno).c_str());
    return false;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    struct stat info {};
    const std::string path = FXPath::Append(home, entry->d_name);
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0) {
      programs.insert(entry->d_name);
    }
  }
  return true;
}

// Gives a newly seen flag set its expiry, or removes it once that passed.
void ReviseImage(EvDebug& log, ZNPlatformInfo& store, const std::string& image, long long lifetimeDays) {
  const std::string timeoutName = image + "_Timeout";
  const std::string detectedName = image + "_Detected";
  const long long now = ::time(nullptr);
  int timeout = 0;
  if (!store.getRegInt(kTimeoutsKey, timeoutName.c_str(), &timeout)) {
    const long long expires = now + lifetimeDays * kDay;
    if (!store.createRegKey(kTimeoutsKey)) {
      log.Error(kContext, "Error occurred while creating %s.", kTimeoutsKey);
      return;
    }
    if (!store.setRegInt(kTimeoutsKey, timeoutName.c_str(), static_cast<int>(expires)) ||
        !store.setRegInt(kTimeoutsKey, detectedName.c_str(), static_cast<int>(now))) {
      log.Error(kContext, "Error occurred while setting gflag time out value for image %s.", image.c_str());
      return;
    }
    log.DebugLvl(kContext, 3, "Image:%s. Will expire on: %s", image.c_str(), TimeText(expires).c_str());
    return;
  }
  const long long expires = static_cast<uint32_t>(timeout);
  if (expires > now) return;
  log.DebugLvl(kContext, 3, "Timed out for Image %s. Expiry time:%s. Hence deleting the gflag from registry.",
               image.c_str(), TimeText(expires).c_str());
  const std::string imageKey = std::string(kImageOptionsRoot) + "\\" + image;
  if (!store.delRegKey(imageKey.c_str())) {
    log.Error(kContext, "Error occurred while clearing gflags for image %s. Error:%s", image.c_str(),
              store.getLastErrorMsg().c_str());
  }
  if (!store.delRegField(kTimeoutsKey, timeoutName.c_str()) || !store.delRegField(kTimeoutsKey, detectedName.c_str())) {
    log.Error(kContext, "Error occurred while deleting time out entry for image %s.", image.c_str());
  }
}

// One line per value of an image's key: the global flag as a number, the
// others as "name - value", numbers marked " (DWORD)".
std::string ImageSettings(ZNPlatformInfo& store, const std::string& image) {
  const std::string key = std::string(kImageOptionsRoot) + "\\" + image;
  std::map<std::string, std::string> values;
  if (!store.getRegValues(key.c_str(), &values)) return std::string();
  std::string out = "Current Registry Settings for " + image + " executable are: \n";
  char line[1024];
  for (const auto& [name, text] : values) {
    unsigned long type = 0;
    char data[8];
    int size = sizeof data;
    const bool number = store.getRegValue(key.c_str(), name.c_str(), &type, data, size) && type == kZnRegNumber;
    if (name == "GlobalFlag") {
      long long flag = 0;
      std::from_chars(text.data(), text.data() + text.size(), flag, number ? 10 : 16);
      std::snprintf(line, sizeof line, "Image:%s. Flag:%s Value:0x%lld\n", image.c_str(), name.c_str(), flag);
    } else {
      const std::string setting = name + " - " + text + (number ? " (DWORD)" : "");
      std::snprintf(line, sizeof line, "Image:%s. Setting:%s\n", image.c_str(), setting.c_str());
    }
    out += line;
  }
  return out;
}

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The report is written aside and moved over the old one, so a reader
// never sees half of it.
void PrintImageflags(EvDebug& log, ZNPlatformInfo& store, const std::list<std::string>& images) {
  const std::string folder = LogSettings::LogFilesDirectory();
  if (folder.empty()) {
    log.Error(kContext, "Unable to fetch the log file path.");
    return;
  }
  const std::string report = FXPath::Append(folder, kReportName);
  const std::string temporary = report + ".tmp";
  yq::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd) {
    log.Error(kContext, "Opening file: [%s] is failed. Error:[%s]", temporary.c_str(), yq::ErrnoText(errno).c_str());
    return;
  }
  std::string imageText;
  for (const std::string& image : images) imageText += ImageSettings(store, image);
  if (imageText.empty()) log.DebugLvl(kContext, 5, "No images with gflags found");
  if (!WriteAll(fd.get(), imageText)) {
    log.Error(kContext, "Writing image flags failed. Error:[%s]", yq::ErrnoText(errno).c_str());
    ::unlink(temporary.c_str());
    return;
  }
  int systemFlags = 0;
  std::string systemText = "Current Boot Registry Settings are: \n";
  if (store.getRegInt(kSessionManagerKey, "GlobalFlag", &systemFlags) && systemFlags != 0) {
    const auto flags = static_cast<uint32_t>(systemFlags);
    log.DebugLvl(kContext, 3, "System Registry gflags. Flag:GlobalFlag Value:0x%x", flags);
    char line[128];
    std::snprintf(line, sizeof line, "System Registry gflags. Flag:GlobalFlag Value:0x%x\n", flags);
    systemText += line;
    if ((flags & kPoolTaggingFlag) != 0) log.DebugLvl(kContext, 5, "Enable pool tagging is set.");
  } else {
    log.DebugLvl(kContext, 3, "System wide gflags are not set. ");
    systemText += "System wide gflags are not set. \n";
  }
  if (!WriteAll(fd.get(), systemText) || fd.close() != 0) {
    log.Error(kContext, "Writing system wide flags failed. Error:[%s]", yq::ErrnoText(errno).c_str());
    ::unlink(temporary.c_str());
    return;
  }
  if (::rename(temporary.c_str(), report.c_str()) != 0) {
    log.Error(kContext, "Opening file: [%s] is failed. Error:[%s]", report.c_str(), yq::ErrnoText(errno).c_str());
    ::unlink(temporary.c_str());
  }
}

}  // namespace

void CheckGlobalFlags() {
  EvDebug log;
  if (LogSettings::Number("Znd", "disablegflagcheck").value_or(0) != 0) {
    log.DebugLvl(kContext, 3, "Gflag check is disabled. Remove ZND/GflagExpireDays from registry to enable");
    return;
  }
  const long long now = ::time(nullptr);
  long long next = g_nextCheck.load();
  if (now < next) {
    log.DebugLvl(kContext, 3, "Skipping image level gflag presence check. Will check after: %s", TimeText(next).c_str());
    return;
  }
  if (!g_nextCheck.compare_exchange_strong(next, now + kDay)) return;  // another thread took this turn
  log.DebugLvl(kContext, 3, "Checking for image level gflags at registry");

  const long long lifetimeDays = LogSettings::NumberOr("Znd", "GflagExpireDays", 7);
  std::set<std::string> programs;
  if (!SuitePrograms(log, programs)) return;
  ZNPlatformInfo store(0, 0);
  std::list<std::string> images;
  if (!store.getRegSubKeysFromAbsPath(kImageOptionsRoot, &images)) {
    if (store.getRegError() != -2) {
      log.Error(kContext, "Error occurred while checking images for gflags under %s. Error:%s", kImageOptionsRoot,
                store.getLastErrorMsg().c_str());
      return;
    }
    images.clear();
  }
  if (images.empty()) log.DebugLvl(kContext, 3, "No images with gflags enabled are found under %s. ", kImageOptionsRoot);
  std::list<std::string> ours;
  for (const std::string& image : images) {
    log.DebugLvl(kContext, 3, "Checking if image %s is present under base directory.", image.c_str());
    if (programs.count(image) == 0) continue;
    log.DebugLvl(kContext, 3, "Image %s is present under base directory.", image.c_str());
    ReviseImage(log, store, image, lifetimeDays);
    ours.push_back(image);
  }
  PrintImageflags(log, store, ours);
}

// For tests: the next call checks at once.
}  // namespace zn::detail

void zn::testing::ResetGlobalFlagsSchedule() { zn::detail::g_nextCheck.store(0); }

extern "C" int CheckGlobalFlags_OnTimer(ZnPeriodicTaskStatus* /*status*/) {
  zn::detail::CheckGlobalFlags();
  return 0;
}
