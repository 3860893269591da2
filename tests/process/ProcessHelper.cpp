// Modes (first argument):
//   interleave N   N blocks of 4096 bytes to stdout and to stderr, in turn
//   fds            the open descriptors, one a line
//   ids            "uid gid" then the sorted groups, blank-separated
//   env NAME       the value of NAME, or "<unset>"
//   pwd            the current folder
//   exit N         exits with N
//   signal N       kills itself with signal N
//   sleep          waits for a signal
//   cat            copies stdin to stdout
//   spin SECONDS   burns CPU for that long, then prints the share of one
//                  core it got, in percent
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "process/HelperBlocks.h"

namespace {

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

double Seconds(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string mode = argv[1];
  if (mode == "interleave" && argc > 2) {
    const int blocks = std::atoi(argv[2]);
    for (int i = 0; i < blocks; ++i) {
      if (!WriteAll(1, zn::test::HelperBlock('O', i)) || !WriteAll(2, zn::test::HelperBlock('E', i))) return 3;
    }
    return 0;
  }
  if (mode == "fds") {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return 3;
    const int own = ::dirfd(dir);
    std::string text;
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      if (std::atoi(entry->d_name) == own) continue;
      text += entry->d_name;
      text += '\n';
    }
    ::closedir(dir);
    return WriteAll(1, text) ? 0 : 3;
  }
  if (mode == "ids") {
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(n, 0)));
    std::sort(groups.begin(), groups.end());
    std::string text = std::to_string(::getuid()) + " " + std::to_string(::getgid());
    for (const gid_t group : groups) text += " " + std::to_string(group);
    return WriteAll(1, text + "\n") ? 0 : 3;
  }
  if (mode == "env" && argc > 2) {
    const char* value = std::getenv(argv[2]);
    return WriteAll(1, value != nullptr ? value : "<unset>") ? 0 : 3;
  }
  if (mode == "pwd") {
    char folder[4096];
    return ::getcwd(folder, sizeof folder) != nullptr && WriteAll(1, folder) ? 0 : 3;
  }
  if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
  if (mode == "signal" && argc > 2) {
    ::signal(std::atoi(argv[2]), SIG_DFL);
    ::raise(std::atoi(argv[2]));
    return 3;
  }
  if (mode == "sleep") {
    while (true) ::pause();
  }
  if (mode == "cat") {
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(0, chunk, sizeof chunk)) > 0) {
      if (!WriteAll(1, std::string(chunk, static_cast<std::size_t>(n)))) return 3;
    }
    return n == 0 ? 0 : 3;
  }
  if (mode == "spin" && argc > 2) {
    const double seconds = std::atof(argv[2]);
    const double wallStart = Seconds(CLOCK_MONOTONIC);
    const double cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    volatile unsigned long counter = 0;
    while (Seconds(CLOCK_MONOTONIC) - wallStart < seconds) {
      for (int i = 0; i < 10000; ++i) counter = counter + 1;
    }
    const double share = (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / (Seconds(CLOCK_MONOTONIC) - wallStart);
    std::printf("%d\n", static_cast<int>(share * 100.0 + 0.5));
    return 0;
  }
  return 2;
}
