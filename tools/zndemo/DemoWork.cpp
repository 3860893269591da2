#include "DemoWork.h"

#include <chrono>
#include <memory>
#include <thread>

#include "zn/log/EvDebug.h"
#include "zn/pool/ZnThreadPool.h"

namespace zn::demo {

void WorkStream::queueOne() {
  const int n = m_next++;
  const int serial = n % 5 == 4 ? 0 : 1 + n % kSerialIds;
  Serial& track = m_serials[static_cast<std::size_t>(serial)];
  // The item is owned by its run; it frees itself there.
  auto item = std::make_unique<Item>(Item{this, serial, track.nextSequence++});
  m_queued.fetch_add(1);
  m_pool.doWork(serial, &WorkStream::Run, item.release(), nullptr);
}

unsigned int WorkStream::Run(void* argument) {
  const std::unique_ptr<Item> item(static_cast<Item*>(argument));
  WorkStream& stream = *item->stream;
  Serial& track = stream.m_serials[static_cast<std::size_t>(item->serial)];
  if (item->serial > 0 && track.running.fetch_add(1) != 0) track.overlaps.fetch_add(1);
  {
    std::lock_guard<std::mutex> lock(track.lock);
    track.ran.push_back(item->sequence);
  }
  // Some work of the kind a service does: a little waiting, a trace line.
  std::this_thread::sleep_for(std::chrono::microseconds(200 + 100 * (item->sequence % 7)));
  EvDebug().DebugLvl("zndemo::WorkStream::Run", 3, static_cast<long long>(item->serial),
                     "Item [%d] of serial id [%d] done", item->sequence, item->serial);
  if (item->serial > 0) track.running.fetch_sub(1);
  stream.m_done.fetch_add(1);
  return 0;
}

bool WorkStream::orderKept(std::string& problem) const {
  for (int serial = 1; serial <= kSerialIds; ++serial) {
    const Serial& track = m_serials[static_cast<std::size_t>(serial)];
    if (track.overlaps.load() != 0) {
      problem = "serial id " + std::to_string(serial) + " ran two items at once";
      return false;
    }
    for (std::size_t i = 0; i < track.ran.size(); ++i) {
      if (track.ran[i] != static_cast<int>(i)) {
        problem = "serial id " + std::to_string(serial) + " ran item " + std::to_string(track.ran[i]) + " as number " +
                  std::to_string(i);
        return false;
      }
    }
  }
  return true;
}

}  // namespace zn::demo
