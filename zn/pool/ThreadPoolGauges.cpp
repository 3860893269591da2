#include "zn/pool/internal/ThreadPoolGauges.h"

#include "zn/metrics/ZnMetricsCollector.h"

namespace zn::detail {
namespace {

void Sample(void* gauges) { static_cast<ThreadPoolGauges*>(gauges)->Publish(); }

constexpr const char* kSnapshots[] = {"MaxThreads", "BusyThreads", "WorkerThreads", "ReadyTask", "TaskList"};
constexpr const char* kSums[] = {"TaskAdded", "TaskDone"};
constexpr int kResetInterval = 300;

}  // namespace

void ThreadPoolGauges::Register(const std::string& name, std::function<ThreadPoolCounters()> read) {
  {
    std::lock_guard<std::mutex> lock(m_registration);
    if (m_registered || m_read) return;
    m_instance = name;
    m_read = std::move(read);
    const ThreadPoolCounters start = m_read();
    m_publishedAdded = start.taskAdded;
    m_publishedDone = start.taskDone;
  }
  ZnMetricsCollector::Initialize();
  for (const char* observation : kSnapshots) {
    ZnMetricsCollector::AddObservation(kModule, m_instance, observation, ZnStatSnapShot, ZnStatLogPeriodic,
                                       ZnResetNever, kResetInterval);
  }
  for (const char* observation : kSums) {
    ZnMetricsCollector::AddObservation(kModule, m_instance, observation, ZnStatSum, ZnStatLogPeriodic, ZnResetOnDump,
                                       kResetInterval);
  }
  // Not under m_registration: a sample holds the samplers' lock and then
  // takes m_registration, so that order is the only one.
  {
    std::lock_guard<std::mutex> lock(m_registration);
    m_registered = true;
  }
  ZnMetricsCollector::AddSampler(&Sample, this);
}

void ThreadPoolGauges::Deregister() {
  {
    std::lock_guard<std::mutex> lock(m_registration);
    if (!m_registered) return;
    m_registered = false;  // a sample that starts now does nothing
  }
  // Not under m_registration: a running sample holds the samplers' lock and
  // waits for it.
  ZnMetricsCollector::RemoveSampler(&Sample, this);
  ZnMetricsCollector::DeRegisterInstance(kModule, m_instance);
}

void ThreadPoolGauges::Publish() {
  std::lock_guard<std::mutex> lock(m_registration);
  if (!m_registered) return;
  const ThreadPoolCounters now = m_read();
  const std::string& instance = m_instance;
  ZnMetricsCollector::Update(kModule, instance, "MaxThreads", now.maxThreads);
  ZnMetricsCollector::Update(kModule, instance, "BusyThreads", now.busyThreads);
  ZnMetricsCollector::Update(kModule, instance, "WorkerThreads", now.workerThreads);
  ZnMetricsCollector::Update(kModule, instance, "ReadyTask", now.readyTask);
  ZnMetricsCollector::Update(kModule, instance, "TaskList", now.taskList);
  // Counts wrap at 2^32: the difference is still right.
  if (const uint32_t added = now.taskAdded - m_publishedAdded; added != 0) {
    ZnMetricsCollector::Update(kModule, instance, "TaskAdded", static_cast<long>(added));
  }
  if (const uint32_t done = now.taskDone - m_publishedDone; done != 0) {
    ZnMetricsCollector::Update(kModule, instance, "TaskDone", static_cast<long>(done));
  }
  m_publishedAdded = now.taskAdded;
  m_publishedDone = now.taskDone;
}

}  // namespace zn::detail
