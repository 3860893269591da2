// Error injection: contexts by name from the store, the probability texts
// it accepts, the draws, and the lifetime of shared contexts.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log/LogTestUtil.h"
#include "zn/error/CErrorInjector.h"
#include "zn/error/ErrorTesting.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;

class ErrorInjector : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    Open();
  }
  static void Enable(const std::string& name, const char* probability = nullptr) {
    LogSettings::SetNumber(kEM, name + "_ErrorInjectionEnabled", 1);
    if (probability != nullptr) LogSettings::Set(kEM, name + "_ErrorInjectionProbability", probability);
  }
  // The probability a fresh context of `name` takes.
  static double ProbabilityOf(const std::string& name) {
    CErrorInjector& injector = CErrorInjector::Get();
    CErrorInjector::CContext* context = injector.GetContext(name);
    if (context == nullptr) return -1;
    const double probability = context->getProbability();
    injector.ReleaseContext(context);
    return probability;
  }
};

TEST_F(ErrorInjector, ANameIsOffUntilTheStoreEnablesIt) {
  CErrorInjector& injector = CErrorInjector::Get();
  EXPECT_EQ(injector.GetContext("inj.absent"), nullptr);
  LogSettings::SetNumber(kEM, "inj.zero_ErrorInjectionEnabled", 0);
  EXPECT_EQ(injector.GetContext("inj.zero"), nullptr);
  EXPECT_FALSE(injector.InjectError(nullptr));
  CErrorInjector::CContext* none = nullptr;
  injector.ReleaseContext(none);  // nothing to release, no harm
  EXPECT_EQ(none, nullptr);

  Enable("inj.on");
  EXPECT_DOUBLE_EQ(ProbabilityOf("inj.on"), 0.001);  // no probability stored
  EXPECT_TRUE(HasLine(Content(), "Error injection for [inj.on] is on with probability [0.001]"));
}

TEST_F(ErrorInjector, ProbabilityTextsOutsideTheOpenIntervalOrNotNumbersGiveTheDefault) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"0.5", 0.5},     {"0.25", 0.25},  {" 0.75\t", 0.75}, {"+0.125", 0.125}, {"5e-1", 0.5},
      {".5", 0.5},      {"2", 0.001},    {"0", 0.001},      {"1", 0.001},      {"1.0", 0.001},
      {"-0.5", 0.001},  {"0,5", 0.001},  {"abc", 0.001},    {"", 0.001},       {"0.5x", 0.001},
      {"nan", 0.001},   {"inf", 0.001},  {"1e-400", 0.001}, {"++0.5", 0.001},  {"0x0.8p0", 0.001},
  };
  for (const Case& c : cases) {
    const std::string name = std::string("inj.text.") + std::to_string(&c - cases);
    Enable(name, c.text);
    EXPECT_DOUBLE_EQ(ProbabilityOf(name), c.expected) << "[" << c.text << "]";
  }
  // A refused text says so, with its name.
  EXPECT_TRUE(HasLine(Content(),
                      "Error injection probability [0,5] of [inj.text.11] is not a number between 0 and 1. Using [0.001]"))
      << Content();
}

TEST_F(ErrorInjector, ContextsAreSharedByNameAndDestroyedByTheLastRelease) {
  CErrorInjector& injector = CErrorInjector::Get();
  const std::size_t before = injector.getContextCount();
  Enable("inj.shared", "0.25");
  CErrorInjector::CContext* first = injector.GetContext("inj.shared");
  CErrorInjector::CContext* second = injector.GetContext("inj.shared");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->getRefCount(), 2);
  EXPECT_EQ(first->getName(), "inj.shared");
  EXPECT_EQ(injector.getContextCount(), before + 1);

  // The settings are read once per context: a change waits for a new one.
  LogSettings::Set(kEM, "inj.shared_ErrorInjectionProbability", "0.75");
  injector.ReleaseContext(first);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(second->getRefCount(), 1);
  EXPECT_DOUBLE_EQ(second->getProbability(), 0.25);
  EXPECT_EQ(injector.getContextCount(), before + 1);
  injector.ReleaseContext(second);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(injector.getContextCount(), before);
  EXPECT_DOUBLE_EQ(ProbabilityOf("inj.shared"), 0.75);  // made afresh
}

// The draw is the standard canonical real of two 32-bit twister outputs.
// Expected values computed independently with a Python MT19937 (seed 5489,
// whose 10000th output is 4123659995 as the C++ standard says): outputs
// 3499211612, 581869302, 3890346734, 3586334585 give
// r = (x1 + x2 * 2^32) / 2^64 = 0.1354770042967805, then 0.8350085899945795.
TEST_F(ErrorInjector, TheDrawIsTheCanonicalRealOfTwoTwisterOutputs) {
  CErrorInjector& injector = CErrorInjector::Get();
  const auto drawsAt = [&](const char* probability) {
    const std::string name = std::string("inj.known.") + probability;
    Enable(name, probability);
    CErrorInjector::CContext* context = injector.GetContext(name);
    zn::testing::SeedInjectionContext(context, 5489);
    std::string pattern;
    for (int i = 0; i < 2; ++i) pattern += injector.InjectError(context) ? 'T' : 'F';
    injector.ReleaseContext(context);
    return pattern;
  };
  EXPECT_EQ(drawsAt("0.1355"), "TF");
  EXPECT_EQ(drawsAt("0.1354"), "FF");
  EXPECT_EQ(drawsAt("0.8351"), "TT");
  EXPECT_EQ(drawsAt("0.835"), "TF");
}

TEST_F(ErrorInjector, HalfTheDrawsAtProbabilityOneHalfOverTenThousand) {
  CErrorInjector& injector = CErrorInjector::Get();
  Enable("inj.half", "0.5");
  CErrorInjector::CContext* context = injector.GetContext("inj.half");
  ASSERT_NE(context, nullptr);
  int injected = 0;
  for (int i = 0; i < 10000; ++i) injected += injector.InjectError(context) ? 1 : 0;
  injector.ReleaseContext(context);
  // Binomial(10000, 0.5): mean 5000, standard deviation 50; the bound is
  // ten deviations wide on each side.
  EXPECT_GT(injected, 4500);
  EXPECT_LT(injected, 5500);
}

TEST_F(ErrorInjector, ThreadsShareContextsDrawAndReleaseTogether) {
  CErrorInjector& injector = CErrorInjector::Get();
  const std::size_t before = injector.getContextCount();
  Enable("inj.threads", "0.5");
  constexpr int kThreads = 8;
  constexpr int kDraws = 2000;
  std::atomic<int> injected{0};
  std::atomic<int> differentContexts{0};
  CErrorInjector::CContext* held = injector.GetContext("inj.threads");  // keeps it alive throughout
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 10; ++round) {
        CErrorInjector::CContext* context = injector.GetContext("inj.threads");
        if (context != held) ++differentContexts;
        for (int i = 0; i < kDraws / 10; ++i) injected += injector.InjectError(context) ? 1 : 0;
        injector.ReleaseContext(context);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(differentContexts.load(), 0);
  EXPECT_EQ(held->getRefCount(), 1);
  injector.ReleaseContext(held);
  EXPECT_EQ(injector.getContextCount(), before);
  // 16000 draws at 0.5: mean 8000, deviation about 63.
  EXPECT_GT(injected.load(), 7000);
  EXPECT_LT(injected.load(), 9000);
}

TEST_F(ErrorInjector, RandomValuesForInjectionSites) {
  const CYqError error = CErrorInjector::GenerateRandomYqError();
  EXPECT_GE(CErrorInjector::GenerateRandomInt(), 0);
  EXPECT_NE(error.AsString().find("GenerateRandomYqError"), std::string::npos) << error.AsString();
}

}  // namespace
