// Shared process buffers against the plain Linux means:
// - uncontended Lock+Unlock of a buffer's SyncBufferAccess against a
//   robust, process-shared pthread_mutex_t in shared memory;
// - a round trip between two processes through two buffers' events
//   (setEvent, waitForEvent) against a pair of eventfds (write, read).

#include <benchmark/benchmark.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "RatioReporter.h"
#include "zn/ipc/SharedProcessBuffer.h"

namespace {

std::string Name(const char* tag) { return std::string("znbench.") + tag + "." + std::to_string(::getpid()); }

void BM_Lock_SyncBufferAccess(benchmark::State& state) {
  const std::string name = Name("lock");
  SharedProcessBuffer buffer(name.c_str(), 64, true);
  SyncBufferAccess access(buffer, false);
  for (auto _ : state) {
    access.Lock();
    access.Unlock();
  }
}

void BM_Lock_robust_pthread_mutex(benchmark::State& state) {
  void* memory = ::mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  auto* mutex = static_cast<pthread_mutex_t*>(memory);
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  for (auto _ : state) {
    pthread_mutex_lock(mutex);
    pthread_mutex_unlock(mutex);
  }
  pthread_mutex_destroy(mutex);
  ::munmap(memory, sizeof(pthread_mutex_t));
}

// The partner process answers every ping with a pong until it is told to
// stop (a flag in shared memory, then one more ping).
struct Stop {
  std::atomic<int> now{0};
};

Stop* NewStop() {
  void* memory = ::mmap(nullptr, sizeof(Stop), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  return new (memory) Stop();
}

void BM_PingPong_SharedProcessBufferWithSignal(benchmark::State& state) {
  const std::string ping = Name("ping"), pong = Name("pong");
  SharedProcessBufferWithSignal toPartner(ping.c_str(), 64, true);
  SharedProcessBufferWithSignal fromPartner(pong.c_str(), 64, true);
  Stop* stop = NewStop();
  const pid_t partner = ::fork();
  if (partner == 0) {
    SharedProcessBufferWithSignal in(ping.c_str(), 64, false);
    SharedProcessBufferWithSignal out(pong.c_str(), 64, false);
    for (;;) {
      in.waitForEvent(nullptr, 0, 0);
      if (stop->now.load() != 0) ::_exit(0);
      out.setEvent();
    }
  }
  for (auto _ : state) {
    toPartner.setEvent();
    fromPartner.waitForEvent(nullptr, 0, 0);
  }
  stop->now = 1;
  toPartner.setEvent();
  ::waitpid(partner, nullptr, 0);
  ::munmap(stop, sizeof(Stop));
}

void BM_PingPong_eventfd(benchmark::State& state) {
  const int ping = ::eventfd(0, 0), pong = ::eventfd(0, 0);
  Stop* stop = NewStop();
  uint64_t one = 1, got = 0;
  const pid_t partner = ::fork();
  if (partner == 0) {
    for (;;) {
      if (::read(ping, &got, sizeof got) != sizeof got) ::_exit(1);
      if (stop->now.load() != 0) ::_exit(0);
      if (::write(pong, &one, sizeof one) != sizeof one) ::_exit(1);
    }
  }
  for (auto _ : state) {
    if (::write(ping, &one, sizeof one) != sizeof one || ::read(pong, &got, sizeof got) != sizeof got) {
      state.SkipWithError("eventfd failed");
      break;
    }
  }
  stop->now = 1;
  (void)!::write(ping, &one, sizeof one);
  ::waitpid(partner, nullptr, 0);
  ::close(ping);
  ::close(pong);
  ::munmap(stop, sizeof(Stop));
}

BENCHMARK(BM_Lock_SyncBufferAccess);
BENCHMARK(BM_Lock_robust_pthread_mutex);
BENCHMARK(BM_PingPong_SharedProcessBufferWithSignal)->UseRealTime();
BENCHMARK(BM_PingPong_eventfd)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"uncontended Lock+Unlock vs robust shared pthread mutex", "BM_Lock_SyncBufferAccess",
           "BM_Lock_robust_pthread_mutex", ""},
          {"round trip between processes: events vs eventfd pair", "BM_PingPong_SharedProcessBufferWithSignal/real_time",
           "BM_PingPong_eventfd/real_time", ""},
      });
}
