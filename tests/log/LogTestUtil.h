// A fixture for the process log tests: fresh log state, settings and focus
// around each test, and a scratch folder for the files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "helpers/TempDir.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zn/log/LogTesting.h"

namespace zn::test {

inline constexpr const char* kEM = "EventManager";

// A folder of the build tree beside bin/ ("lib", "test-homes/...").
inline std::string BuildFolder(const std::string& name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / name).string();
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    zn::LogSettings::SetNumber(kEM, "ShowLogLevelInLogs", 1);
  }
  void TearDown() override { Reset(); }

  static void Reset() {
    EvDebug::CleanupFileHandleList();
    zn::testing::ResetDefaultLogInstance();
    zn::LogSettings::Clear();
    ZNPI_Focus::reload();
    EvDebug::m_bTurnOffAllLogs = false;
  }

  // Opens the process log "zntest" (with a suffix: "zntest-<suffix>") here.
  void Open(const std::string& suffix = "") {
    ASSERT_TRUE(EvDebug().initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, suffix));
  }
  std::string Content(const std::string& file = "zntest.log") const { return ReadFile(m_dir.file(file)); }
  // True when a line of `text` ends with " <tail>".
  static bool HasLine(const std::string& text, const std::string& tail) {
    return text.find(" " + tail + "\n") != std::string::npos;
  }

  TempDir m_dir;
};

}  // namespace zn::test
