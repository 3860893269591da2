// The bridge from the utility library to the process log: CEvDebugWrapper
// over a handle, its thread writer, the sink installed by initialize, and
// the rule that unloading replaces our bridge by a null writer.

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "log/LogTestUtil.h"
#include "zn/log/CEvDebugWrapper.h"
#include "zn/log/LogTesting.h"
#include "zuzazer/CLogWriterInterface.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXThread.h"

namespace {

using zn::test::kEM;

class EvDebugWrapper : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    Open();
  }
  void OpenOwn(EvDebugFileInstance& instance, const std::string& suffix) {
    ASSERT_TRUE(EvDebug(&instance).initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, suffix));
  }
  std::string Text(const std::string& suffix = "") const {
    return Content(suffix.empty() ? "zntest.log" : "zntest-" + suffix + ".log");
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(EvDebugWrapper, WritesThroughTheHandlesWritePathAndDoesNothingWithoutOne) {
  CEvDebugWrapper none(nullptr);
  EXPECT_EQ(none.LogMessage(0, "F", 0, 0, nullptr, "dropped"), 0);
  EXPECT_EQ(none.RefreshSettings(), 0);
  EXPECT_EQ(none.GetDebugLevel(), 0);
  EXPECT_EQ(none.SetDebugLevel(4), 0);

  CEvDebugWrapper bridge(boost::make_shared<EvDebug>());
  EXPECT_EQ(bridge.GetDebugLevel(), 1);
  EXPECT_EQ(bridge.LogMessage(1, "Util::Fn", 12, 0, nullptr, "at level [%d]", 1), 1);
  EXPECT_EQ(bridge.LogMessage(2, "Util::Fn", 12, 0, nullptr, "filtered at level [%d]", 2), 1);
  EXPECT_EQ(bridge.SetDebugLevel(2), 1);
  EXPECT_EQ(EvDebug().getDebugLevel(), 2);  // the process log's own level
  bridge.LogMessage(2, "Util::Fn", 12, 0, nullptr, "now written at level [%d]", 2);
  EXPECT_EQ(bridge.RefreshSettings(), 1);  // the store has no level: back to the catalogue's
  EXPECT_EQ(EvDebug().getDebugLevel(), 1);

  const std::string text = Text();
  EXPECT_TRUE(Has(text, "at level [1]"));
  EXPECT_FALSE(Has(text, "filtered at level [2]"));
  EXPECT_TRUE(Has(text, "now written at level [2]"));
  EXPECT_TRUE(Has(text, "Util::Fn"));
}

TEST_F(EvDebugWrapper, InitializeInstallsTheBridgeSoUtilityLinesReachTheProcessLog) {
  const boost::shared_ptr<CLogWriterInterface> sink = yq::GetLogWriter();
  ASSERT_NE(dynamic_cast<CEvDebugWrapper*>(sink.get()), nullptr);
  EXPECT_EQ(dynamic_cast<CEvDebugWrapper*>(sink.get())->GetHandle()->GetFileInstance(), nullptr);  // the default

  EvDebug().setDebugLevel(2);
  CYqLibrary library;
  EXPECT_TRUE(library.Load(m_dir.file("libmissing.so")).IsError());  // the utility library says why, at level 2
  yq::LogLine(0, "Util::Direct", "a line of the utility library [%s]", "x");
  const std::string text = Text();
  EXPECT_TRUE(Has(text, "CYqLibrary::Load")) << text;
  EXPECT_TRUE(Has(text, "Cannot load library [" + m_dir.file("libmissing.so") + "]"));
  EXPECT_TRUE(HasLine(text, "a line of the utility library [x]"));
}

// Utility lines from several threads, each with its own instance pushed:
// every line lands in its thread's log, whole and once.
TEST_F(EvDebugWrapper, UtilityLinesFromSeveralThreadsFollowEachThreadsRedirection) {
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<EvDebugFileInstance> instances(kThreads);
  for (int t = 0; t < kThreads; ++t) OpenOwn(instances[t], "t" + std::to_string(t));

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ThLvlEvDebugFileInstance redirect(&instances[t]);
      for (int i = 0; i < kLines; ++i) yq::LogLine(0, "Util::Worker", "thread [%d] line [%d]", t, i);
    });
  }
  for (int i = 0; i < kLines; ++i) yq::LogLine(0, "Util::Worker", "main line [%d]", i);
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    const std::string text = Text("t" + std::to_string(t));
    for (int i = 0; i < kLines; ++i) {
      const std::string line = "thread [" + std::to_string(t) + "] line [" + std::to_string(i) + "]";
      EXPECT_TRUE(HasLine(text, line)) << line;
      EXPECT_EQ(text.find(line + "\n"), text.rfind(line + "\n")) << "twice: " << line;
    }
    EXPECT_FALSE(Has(text, "main line")) << t;
    for (int other = 0; other < kThreads; ++other) {
      if (other != t) {
        EXPECT_FALSE(Has(text, "thread [" + std::to_string(other) + "]")) << t << " has " << other;
      }
    }
  }
  const std::string process = Text();
  EXPECT_TRUE(HasLine(process, "main line [" + std::to_string(kLines - 1) + "]"));
  EXPECT_FALSE(Has(process, "thread [0] line"));
}

// A thread writer made from a handle bound to an instance sends the lines
// of the thread that asked for it into that instance: both the utility
// library's and the library's own default-handle lines.
TEST_F(EvDebugWrapper, ThreadWriterOfABoundHandleRedirectsTheThreadThatAskedForIt) {
  EvDebugFileInstance job;
  OpenOwn(job, "job");
  auto bound = boost::make_shared<CEvDebugWrapper>(boost::make_shared<EvDebug>(&job));

  std::promise<void> asked;
  std::promise<void> otherWrote;
  std::thread worker([&] {
    {
      const yq::ThreadLogWriter scope(bound);
      EXPECT_EQ(zn::testing::LogThreadLevelCount(), 1);
      yq::LogLine(0, "Util::Job", "utility line of the job thread");
      EvDebug().Debug("Lib::Job", "library line of the job thread");
      asked.set_value();
      otherWrote.get_future().wait();
      // The utility library's own thread carries the writer on.
      FXThread inner([] { yq::LogLine(0, "Util::Inner", "line of a thread the job started"); });
      inner.Join();
    }
    EXPECT_EQ(zn::testing::LogThreadLevelCount(), 0);
    yq::LogLine(0, "Util::Job", "after the thread writer went");
  });
  asked.get_future().wait();
  yq::LogLine(0, "Util::Main", "utility line of the main thread");
  otherWrote.set_value();
  worker.join();

  const std::string jobText = Text("job");
  const std::string process = Text();
  for (const char* line : {"utility line of the job thread", "library line of the job thread",
                           "line of a thread the job started"}) {
    EXPECT_TRUE(HasLine(jobText, line)) << line;
    EXPECT_FALSE(HasLine(process, line)) << line;
  }
  EXPECT_TRUE(HasLine(process, "utility line of the main thread"));
  EXPECT_TRUE(HasLine(process, "after the thread writer went"));
  EXPECT_FALSE(HasLine(jobText, "utility line of the main thread"));

  // A wrapper not held by a shared pointer still makes thread writers.
  CEvDebugWrapper local(boost::make_shared<EvDebug>(&job));
  const boost::shared_ptr<CLogWriterInterface> writer = local.CreateThreadWriter();
  auto* threadWriter = dynamic_cast<CEvDebugThreadInstanceWrapper*>(writer.get());
  ASSERT_NE(threadWriter, nullptr);
  EXPECT_TRUE(threadWriter->RedirectsThread());
  // The default handle's thread writer pushes nothing.
  const boost::shared_ptr<CLogWriterInterface> plain = yq::GetLogWriter()->CreateThreadWriter();
  EXPECT_FALSE(dynamic_cast<CEvDebugThreadInstanceWrapper*>(plain.get())->RedirectsThread());
}

TEST_F(EvDebugWrapper, UnloadingReplacesOurBridgeButNoOtherSink) {
  const boost::shared_ptr<CLogWriterInterface> bridge = yq::GetLogWriter();
  ASSERT_NE(dynamic_cast<CEvDebugWrapper*>(bridge.get()), nullptr);

  // Someone else's writer is left alone.
  const boost::shared_ptr<CLogWriterInterface> other = CreateNullLogWriter();
  yq::SetLogWriter(other);
  zn::testing::DetachLogBridge();
  EXPECT_EQ(yq::GetLogWriter(), other);

  // Our bridge, and a thread writer of ours, are replaced by a null writer.
  yq::SetLogWriter(bridge->CreateThreadWriter());
  zn::testing::DetachLogBridge();
  EXPECT_EQ(dynamic_cast<CEvDebugThreadInstanceWrapper*>(yq::GetLogWriter().get()), nullptr);
  yq::SetLogWriter(bridge);
  zn::testing::DetachLogBridge();
  EXPECT_EQ(dynamic_cast<CEvDebugWrapper*>(yq::GetLogWriter().get()), nullptr);
  yq::LogLine(0, "Util::After", "goes nowhere");
  EXPECT_FALSE(Has(Text(), "goes nowhere"));
  yq::SetLogWriter(bridge);  // for the tests after this one in the process
}

}  // namespace
