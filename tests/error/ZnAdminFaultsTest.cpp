// znadmin faults: what it writes is what the injector of a program takes,
// and a probability it cannot take is refused before anything is written.

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "helpers/AdminRunner.h"
#include "log/LogTestUtil.h"
#include "zn/error/CErrorInjector.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;
using zn::test::RunAdmin;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using ZnAdminFaults = zn::test::LogTest;

TEST_F(ZnAdminFaults, SetListAndClearAreWhatTheInjectorTakes) {
  auto run = RunAdmin({"faults", "set", "backupd", "0.25"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "backupd: on, probability 0.25")) << run.out;

  CErrorInjector& injector = CErrorInjector::Get();
  CErrorInjector::CContext* context = injector.GetContext("backupd");
  ASSERT_NE(context, nullptr);
  EXPECT_DOUBLE_EQ(context->getProbability(), 0.25);
  injector.ReleaseContext(context);

  ASSERT_EQ(RunAdmin({"faults", "set", "restored"}).code, 0);  // on with the default
  LogSettings::Set(kEM, "broken_ErrorInjectionProbability", "0,5");
  LogSettings::SetNumber(kEM, "broken_ErrorInjectionEnabled", 0);
  run = RunAdmin({"faults", "list"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "backupd: on, probability 0.25\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "restored: on, probability 0.001 (the default)\n"));
  EXPECT_TRUE(Has(run.out, "broken: off, probability 0.001 (the stored [0,5] is not a probability: the default applies)"));
  run = RunAdmin({"faults", "list", "BACKUPD"});
  EXPECT_EQ(run.out, "backupd: on, probability 0.25\n");
  // The same for scripts; a probability the program cannot take shows the
  // default it applies beside the stored text.
  run = RunAdmin({"faults", "list", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const nlohmann::json listed = nlohmann::json::parse(run.out);
  ASSERT_TRUE(listed.is_array());
  bool sawBroken = false;
  for (const nlohmann::json& entry : listed) {
    if (entry["name"] == "backupd") {
      EXPECT_EQ(entry["enabled"], true);
      EXPECT_DOUBLE_EQ(entry["probability"].get<double>(), 0.25);
    }
    if (entry["name"] == "broken") {
      sawBroken = true;
      EXPECT_EQ(entry["enabled"], false);
      EXPECT_DOUBLE_EQ(entry["probability"].get<double>(), 0.001);
      EXPECT_EQ(entry["stored"], "0,5");
    }
  }
  EXPECT_TRUE(sawBroken) << run.out;

  run = RunAdmin({"faults", "clear", "backupd"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(injector.GetContext("backupd"), nullptr);
  EXPECT_EQ(RunAdmin({"faults", "list", "backupd"}).code, 3);  // not found
  EXPECT_EQ(RunAdmin({"faults", "clear", "backupd"}).code, 0);  // nothing left: still fine
}

TEST_F(ZnAdminFaults, ProbabilitiesAndNamesItCannotTakeAreRefused) {
  for (const char* bad : {"0,5", "2", "0", "1", "abc", "-0.1"}) {
    const auto run = RunAdmin({"faults", "set", "svc", bad});
    EXPECT_EQ(run.code, 2) << bad;
    EXPECT_TRUE(Has(run.err, std::string("[") + bad + "] is not a probability")) << run.err;
  }
  EXPECT_FALSE(LogSettings::Number(kEM, "svc_ErrorInjectionEnabled").has_value());
  EXPECT_EQ(RunAdmin({"faults", "set", "a\\b", "0.5"}).code, 2);
  EXPECT_EQ(RunAdmin({"faults", "set", "", "0.5"}).code, 2);
  EXPECT_EQ(RunAdmin({"faults"}).code, 2);
}

}  // namespace
