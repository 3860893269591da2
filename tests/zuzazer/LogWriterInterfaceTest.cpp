// The utility library's log-writer interfaces: the slot order callers rely
// on, the null writer, thread writers that hand on to their parent, the
// sink, the guard against a writer logging about itself, and FXThread
// carrying its starter's writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/make_shared.hpp>

#include "zuzazer/CLogWriterInterface.h"
#include "zuzazer/FXThread.h"

namespace {

// Remembers each line with the thread it was written on and who wrote it.
class RecordingWriter : public CLogWriterWrapperBase, public boost::enable_shared_from_this<RecordingWriter> {
 public:
  explicit RecordingWriter(std::string tag = "root") : m_tag(std::move(tag)) {}

  int LogMessage(int level, const char* function, unsigned long line, long long jobId, const char* context,
                 const char* format, ...) override {
    va_list args;
    va_start(args, format);
    const int taken = LogMessageV(level, function, line, jobId, context, format, args);
    va_end(args);
    return taken;
  }
  int LogMessageV(int level, const char* function, unsigned long, long long, const char*, const char* format,
                  va_list args) override {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(m_tag + "|" + std::to_string(level) + "|" + (function != nullptr ? function : "") + "|" + text);
    if (m_logAgain) yq::LogLine(0, "Nested", "written from inside the writer");
    return 1;
  }
  int RefreshSettings() override { return 1; }
  int GetDebugLevel() override { return m_level; }
  int SetDebugLevel(int level) override {
    m_level = level;
    return 1;
  }
  boost::shared_ptr<CLogWriterInterface> CreateThreadWriter() override {
    ++m_threadWritersMade;
    return boost::make_shared<CLogWriterInterfaceThreadWrapper>(shared_from_this());
  }

  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }
  std::atomic<int> m_threadWritersMade{0};
  bool m_logAgain = false;

 private:
  std::string m_tag;
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
  int m_level = 3;
};

// Itanium C++ ABI: a pointer to a virtual member holds 1 + its byte offset
// in the vtable; the destructor takes two entries (complete, deleting).
template <typename Member>
std::ptrdiff_t SlotOf(Member member) {
  std::ptrdiff_t raw[2];
  static_assert(sizeof(member) == sizeof(raw));
  std::memcpy(raw, &member, sizeof raw);
  return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)) - 1;  // the destructor is slot 0
}

class SinkRestorer {
 public:
  SinkRestorer() : m_saved(yq::GetLogWriter()) {}
  ~SinkRestorer() { yq::SetLogWriter(m_saved); }

 private:
  boost::shared_ptr<CLogWriterInterface> m_saved;
};

TEST(LogWriterInterface, SlotsAreInTheOrderCallersRelyOn) {
  EXPECT_EQ(SlotOf(&CLogWriterInterface::Initialize), 1);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::SetLogAppName), 2);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::SetLogFileName), 3);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::LogMessage), 4);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::LogMessageV), 5);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::RefreshSettings), 6);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::GetDebugLevel), 7);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::SetDebugLevel), 8);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::GetDebugMask), 9);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::SetDebugMask), 10);
  EXPECT_EQ(SlotOf(&CLogWriterInterface::CreateThreadWriter), 11);
}

TEST(LogWriterInterface, NullWriterDropsEverythingAndTheBaseKeepsNamesAndMask) {
  const boost::shared_ptr<CLogWriterInterface> null = CreateNullLogWriter();
  EXPECT_EQ(null->LogMessage(0, "F", 1, 0, nullptr, "dropped %d", 1), 0);
  EXPECT_EQ(null->RefreshSettings(), 0);
  EXPECT_EQ(null->GetDebugLevel(), 0);
  EXPECT_EQ(null->SetDebugLevel(5), 0);
  EXPECT_NE(null->CreateThreadWriter(), nullptr);

  RecordingWriter writer;
  EXPECT_TRUE(writer.Initialize("app", "file.log", 7).IsSuccess());
  EXPECT_EQ(writer.GetLogAppName(), "app");
  EXPECT_EQ(writer.GetLogFileName(), "file.log");
  EXPECT_EQ(writer.GetDebugLevel(), 3);  // the level is the writer's own business
  writer.SetDebugMask(0x24);
  EXPECT_EQ(writer.GetDebugMask(), 0x24u);
}

TEST(LogWriterInterface, ThreadWrapperHandsEveryCallToItsParent) {
  auto parent = boost::make_shared<RecordingWriter>();
  CLogWriterInterfaceThreadWrapper thread(parent);
  EXPECT_EQ(thread.LogMessage(2, "Fn", 9, 0, nullptr, "value [%d]", 42), 1);
  EXPECT_EQ(thread.SetDebugLevel(6), 1);
  EXPECT_EQ(parent->GetDebugLevel(), 6);
  EXPECT_EQ(thread.GetDebugLevel(), 6);
  thread.SetLogAppName("through");
  EXPECT_EQ(parent->GetLogAppName(), "through");
  thread.SetDebugMask(3);
  EXPECT_EQ(parent->GetDebugMask(), 3u);
  EXPECT_EQ(thread.RefreshSettings(), 1);
  ASSERT_EQ(parent->lines().size(), 1u);
  EXPECT_EQ(parent->lines()[0], "root|2|Fn|value [42]");

  // A wrapper made without a parent forwards to a null writer.
  CLogWriterInterfaceThreadWrapper orphan(nullptr);
  EXPECT_EQ(orphan.LogMessage(0, "F", 0, 0, nullptr, "x"), 0);
}

TEST(LogWriterInterface, LinesGoToTheSinkOrTheThreadWriterAndNeverLoopBack) {
  SinkRestorer restore;
  auto sink = boost::make_shared<RecordingWriter>("sink");
  yq::SetLogWriter(sink);
  EXPECT_EQ(yq::GetLogWriter(), sink);
  EXPECT_EQ(g_ptrLogWriter, sink);  // the Windows original name sees the same sink

  yq::LogLine(1, "Top", "to the sink");
  auto own = boost::make_shared<RecordingWriter>("own");
  {
    yq::ThreadLogWriter outer(own);
    EXPECT_EQ(own->m_threadWritersMade, 1);
    yq::LogLine(1, "Scoped", "to the thread writer");
    {
      yq::ThreadLogWriter inner;  // the writer this thread uses now
      yq::LogLine(1, "Inner", "still to it");
    }
    yq::LogLine(1, "Scoped", "after the inner scope");
  }
  yq::LogLine(1, "Top", "back to the sink");
  EXPECT_EQ(sink->lines(), (std::vector<std::string>{"sink|1|Top|to the sink", "sink|1|Top|back to the sink"}));
  EXPECT_EQ(own->lines(), (std::vector<std::string>{"own|1|Scoped|to the thread writer", "own|1|Inner|still to it",
                                                    "own|1|Scoped|after the inner scope"}));

  // A writer that writes a line of its own while taking one is not called
  // again from inside itself.
  sink->m_logAgain = true;
  yq::LogLine(0, "Outer", "once");
  EXPECT_EQ(sink->lines().size(), 3u);

  // Replacing only a sink that is still the expected one.
  EXPECT_FALSE(yq::ReplaceLogWriterIf(own.get(), CreateNullLogWriter()));
  EXPECT_EQ(yq::GetLogWriter(), sink);
  EXPECT_TRUE(yq::ReplaceLogWriterIf(sink.get(), nullptr));
  EXPECT_EQ(yq::GetLogWriter()->GetDebugLevel(), 0);  // a null writer
}

TEST(LogWriterInterface, FXThreadCarriesItsStartersWriterAndOthersKeepTheSink) {
  SinkRestorer restore;
  auto sink = boost::make_shared<RecordingWriter>("sink");
  yq::SetLogWriter(sink);
  auto own = boost::make_shared<RecordingWriter>("own");
  {
    yq::ThreadLogWriter scope(own);
    FXThread carried([] { yq::LogLine(1, "Worker", "from the carried thread"); });
    carried.Join();
  }
  FXThread plain([] { yq::LogLine(1, "Worker", "from a plain thread"); });
  FXThread failing([] { throw std::runtime_error("broken"); });
  plain.Join();
  failing.Join();

  const std::vector<std::string> ownLines = own->lines();
  EXPECT_NE(std::find(ownLines.begin(), ownLines.end(), "own|1|Worker|from the carried thread"), ownLines.end());
  EXPECT_EQ(own->m_threadWritersMade, 2);  // this thread's scope, then the worker's own
  const std::vector<std::string> sinkLines = sink->lines();
  EXPECT_NE(std::find(sinkLines.begin(), sinkLines.end(), "sink|1|Worker|from a plain thread"), sinkLines.end());
  EXPECT_NE(std::find(sinkLines.begin(), sinkLines.end(), "sink|-1|FXThread|Thread body failed: broken"),
            sinkLines.end());
}

}  // namespace
