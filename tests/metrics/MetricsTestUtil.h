// A fixture for the metrics tests: an empty store, the metrics log in a
// scratch folder at level 5, and the collector forgotten before and after
// each test; and readers of what the metrics log says.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zn/log/LogTesting.h"
#include "zn/metrics/MetricsTesting.h"
#include "zn/metrics/MetricsEnablement.h"
#include "znfocus/ZNPI_Focus.h"

namespace zn::test {

inline constexpr const char* kMetricsSection = "PerformanceMetrics";

// One line of the metrics log, split where the writer joins its fields.
struct MetricsLine {
  std::string threadId;  // lower-case hexadecimal
  std::string function;
  std::string message;
};

class MetricsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZNPI_Focus::reload();
    zn::testing::ResetMetricsCollector();
    zn::LogSettings::Clear();
    zn::LogSettings::Set("EventManager", "dEVLOGDIR", m_dir.path());
    zn::LogSettings::SetNumber("EventManager", "PerformanceMetrics_DEBUGLEVEL", 5);
  }
  void TearDown() override {
    zn::testing::ResetMetricsCollector();
    EvDebug::CleanupFileHandleList();
    zn::testing::ResetDefaultLogInstance();
    zn::LogSettings::Clear();
  }

  static const std::string& Process() { return zn::MetricsProcessName(); }

  // Collection on, without a logging thread left running: its dumps would
  // read and reset observations while the test works on them.
  static void StartCollecting() {
    ZnMetricsCollector::Initialize();
    ZnMetricsCollector::StopThreadSignal();
  }

  std::string LogPath() const { return m_dir.file("PerformanceMetrics.log"); }

  // The lines the collector wrote (functions of ZnMetrics and
  // ZnMetricsCollector), in order.
  std::vector<MetricsLine> Lines() const {
    std::vector<MetricsLine> lines;
    std::istringstream text(ReadFile(LogPath()));
    std::string line;
    while (std::getline(text, line)) {
      // <pid> <tid> <date> <time> <job> <function> <message>
      std::istringstream fields(line);
      std::string pid, tid, date, time, job, function;
      if (!(fields >> pid >> tid >> date >> time >> job >> function)) continue;
      if (function.rfind("ZnMetrics", 0) != 0) continue;
      std::string message;
      std::getline(fields, message);
      if (!message.empty() && message[0] == ' ') message.erase(0, 1);
      lines.push_back(MetricsLine{tid, function, message});
    }
    return lines;
  }

  // The messages of one function, in order.
  std::vector<std::string> Messages(const std::string& function) const {
    std::vector<std::string> messages;
    for (const MetricsLine& line : Lines()) {
      if (line.function == function) messages.push_back(line.message);
    }
    return messages;
  }

  // Messages that start with `prefix`, across all functions.
  std::vector<std::string> MessagesStartingWith(const std::string& prefix) const {
    std::vector<std::string> messages;
    for (const MetricsLine& line : Lines()) {
      if (line.message.rfind(prefix, 0) == 0) messages.push_back(line.message);
    }
    return messages;
  }

  bool Logged(const std::string& message) const {
    for (const MetricsLine& line : Lines()) {
      if (line.message == message) return true;
    }
    return false;
  }

  // Polls until `ready()` holds; false after 30 s.
  template <typename Ready>
  static bool Eventually(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!ready()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  TempDir m_dir;
};

}  // namespace zn::test
