// libZnScale.so: the stand-in of the scale-out log service. Each streamed
// line is appended, with the name of the log it came from, to the file
// "znscale-stream.log" of the destination folder: the folder given by
// znScaleStreamLogsTo, else the store's "EventManager"/"sStreamLogsTo".
// Lines with no destination are dropped. One write(2) per line on an
// O_APPEND descriptor, so processes streaming to one folder never tear
// each other's lines.

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "zn/log/LogSettings.h"
#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"

#define ZNSCALE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char* kStreamFile = "znscale-stream.log";

struct Service {
  std::mutex lock;
  std::string destination;  // empty: not known yet
  yq::UniqueFd file;
};

Service& TheService() {
  static yq::NoDestructor<Service> service;
  return service.get();
}

// The open stream file, or -1 when there is nowhere to stream to. Caller
// holds the lock.
int StreamFileLocked(Service& service) {
  if (service.file) return service.file.get();
  if (service.destination.empty()) {
    service.destination = zn::LogSettings::Text(zn::LogSettings::kEventManager, "sStreamLogsTo").value_or("");
    if (service.destination.empty()) return -1;
  }
  const std::string path = FXPath::Append(service.destination, kStreamFile);
  service.file.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640));
  return service.file.get();
}

}  // namespace

ZNSCALE_EXPORT void znScaleStreamLogsTo(const char* destination) {
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  service.destination = destination != nullptr ? destination : "";
  service.file.reset();
}

ZNSCALE_EXPORT void znScaleLog(const char* application, const char* line) {
  if (line == nullptr) return;
  std::string record = std::string("[") + (application != nullptr ? application : "") + "] " + line;
  if (record.empty() || record.back() != '\n') record.push_back('\n');
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  const int fd = StreamFileLocked(service);
  if (fd >= 0) (void)::write(fd, record.data(), record.size());
}

ZNSCALE_EXPORT bool znScaleFlushLogs(int /*flags*/) {
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  return !service.file || ::fdatasync(service.file.get()) == 0;
}
