// ZnException: its fields, fallbacks, copies and the line each construction
// writes into the process log.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "helpers/TempDir.h"
#include "zn/error/ZnException.h"
#include "zn/log/EvDebug.h"
#include "zn/log/EvDebugState.h"
#include "zn/log/LogSettings.h"

namespace {

using zn::detail::LogSettings;

// Lets a test call the protected setMessage.
class RenamedException : public ZnException {
 public:
  using ZnException::ZnException;
  void rename(const char* message) { setMessage(message); }
};

class ZnExceptionLog : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    EvDebug::CleanupFileHandleList();
    zn::detail::LogState().defaultInstance = EvDebugFileInstance();
    LogSettings::Clear();
  }

  void Open() {
    LogSettings::SetNumber("EventManager", "ShowLogLevelInLogs", 1);
    ASSERT_TRUE(EvDebug().initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false));
  }
  std::string Text() const { return zn::test::ReadFile(m_dir.file("zntest.log")); }
  // Lines of the log that end with `message` (written at level 0 with no
  // function name).
  int Count(const std::string& message) const {
    const std::string text = Text();
    const std::string needle = " L0 0 - " + message + "\n";
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }

  zn::test::TempDir m_dir;
};

TEST_F(ZnExceptionLog, NullTextsTakeTheFallbacks) {
  const ZnException e(nullptr, nullptr, nullptr, 10, 0);
  EXPECT_STREQ(e.getFuncName(), "unknown");
  EXPECT_STREQ(e.getFileName(), "unknown");
  EXPECT_STREQ(e.getMessage(), "Not enough memory");
  EXPECT_EQ(e.getLineNum(), 10);
  EXPECT_EQ(e.getErrno(), 0);
  EXPECT_EQ(e.formatError(), "unknown(): Not enough memory");

  const ZnException defaults("Fn", "msg", "file.cpp");
  EXPECT_EQ(defaults.getLineNum(), -1);
  EXPECT_EQ(defaults.getErrno(), 0);
}

TEST_F(ZnExceptionLog, KeepsItsFieldsAndFormatsTheError) {
  const std::string message = "buffer too small";
  const ZnException e("ZnBuffer::grow", message, "ZnBuffer.cpp", 120, 12);
  EXPECT_STREQ(e.getFuncName(), "ZnBuffer::grow");
  EXPECT_STREQ(e.getMessage(), "buffer too small");
  EXPECT_STREQ(e.what(), "buffer too small");
  EXPECT_STREQ(e.getFileName(), "ZnBuffer.cpp");
  EXPECT_EQ(e.getLineNum(), 120);
  EXPECT_EQ(e.getErrno(), 12);
  EXPECT_EQ(e.formatError(), "ZnBuffer::grow(): buffer too small");

  try {
    throw ZnException("Thrower", "thrown", "t.cpp", 1, 0);
  } catch (const std::exception& caught) {
    EXPECT_STREQ(caught.what(), "thrown");
  }
}

TEST_F(ZnExceptionLog, ConstructionWritesOneLineIntoTheProcessLog) {
  Open();
  const ZnException plain("ZnStream::read", "end of data", "ZnStream.cpp", 10, 0);
  const ZnException withErrno("ZnEvent::set", std::string("set failed"), "ZnSync.cpp", 20, 5);
  const ZnException negative("Neg", "negative errno", "n.cpp", 30, -4);
  // A '%' in any text is written as it stands, never expanded.
  const ZnException percent("Fmt%s", "100%s %d% done %n", "p%d.cpp", 40, 0);

  EXPECT_EQ(Count("ZnException::init(): func_name=ZnStream::read, file_name=ZnStream.cpp, message='end of data'"), 1);
  EXPECT_EQ(Count("ZnException::init(): func_name=ZnEvent::set, file_name=ZnSync.cpp, message='set failed', "
                  "errno= 5"),
            1);
  EXPECT_EQ(Count("ZnException::init(): func_name=Neg, file_name=n.cpp, message='negative errno'"), 1);
  EXPECT_EQ(Count("ZnException::init(): func_name=Fmt%s, file_name=p%d.cpp, message='100%s %d% done %n'"), 1);
  EXPECT_EQ(Text().find("errno= -4"), std::string::npos);

  // Copies write nothing.
  const ZnException copy(plain);
  EXPECT_EQ(Count("ZnException::init(): func_name=ZnStream::read, file_name=ZnStream.cpp, message='end of data'"), 1);

  // Level 0: dropped only when the log is below it.
  EvDebug().setDebugLevel(-1);
  const ZnException quiet("Quiet", "not logged", "q.cpp", 1, 0);
  EXPECT_EQ(Text().find("not logged"), std::string::npos);
}

TEST_F(ZnExceptionLog, SetMessageReplacesAndLogs) {
  Open();
  RenamedException e("Fn", "before", "f.cpp", 1, 0);
  e.rename("after 50%");
  EXPECT_STREQ(e.getMessage(), "after 50%");
  EXPECT_EQ(e.formatError(), "Fn(): after 50%");
  e.rename(nullptr);
  EXPECT_STREQ(e.getMessage(), "Not enough memory");
  EXPECT_EQ(Count("ZnException::setMessage(): message='after 50%'"), 1);
  EXPECT_EQ(Count("ZnException::setMessage(): message='Not enough memory'"), 1);
}

TEST_F(ZnExceptionLog, LongMessagesAreCutInTheLogButKeptWhole) {
  Open();
  const std::string huge(10000, 'h');
  const ZnException e("Big", huge, "b.cpp", 1, 0);
  EXPECT_EQ(std::string(e.getMessage()), huge);
  const std::string text = Text();
  const auto at = text.find("ZnException::init(): func_name=Big");
  ASSERT_NE(at, std::string::npos);
  const auto end = text.find('\n', at);
  EXPECT_GE(end - at, 4000u);
  EXPECT_LT(end - at, huge.size());
}

TEST_F(ZnExceptionLog, CopiesAreIndependent) {
  auto original = std::make_unique<RenamedException>("Orig", "original", "o.cpp", 5, 7);
  ZnException copy(*original);
  ZnException assigned("Other", "other", "x.cpp", 1, 0);
  assigned = *original;
  original->rename("changed");
  EXPECT_STREQ(copy.getMessage(), "original");
  EXPECT_STREQ(assigned.getMessage(), "original");
  original.reset();
  for (const ZnException* e : {&copy, &assigned}) {
    EXPECT_STREQ(e->getFuncName(), "Orig");
    EXPECT_STREQ(e->getFileName(), "o.cpp");
    EXPECT_EQ(e->getLineNum(), 5);
    EXPECT_EQ(e->getErrno(), 7);
    EXPECT_EQ(e->formatError(), "Orig(): original");
  }
  assigned = assigned;  // self-assignment keeps the value
  EXPECT_STREQ(assigned.getMessage(), "original");
}

}  // namespace
