// ZnException: its fields, fallbacks, copies and the line each construction
// writes into the process log.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "log/LogTestUtil.h"
#include "zn/error/ZnException.h"

namespace {

// Lets a test call the protected setMessage.
class RenamedException : public ZnException {
 public:
  using ZnException::ZnException;
  void rename(const char* message) { setMessage(message); }
};

class ZnExceptionLog : public zn::test::LogTest {
 protected:
  // Lines of the log that end with `message` (written at level 0 with no
  // function name).
  int Count(const std::string& message) const {
    const std::string text = Content();
    const std::string needle = " L0 0 - " + message + "\n";
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }
};

TEST_F(ZnExceptionLog, KeepsItsFieldsAndNullTextsTakeTheFallbacks) {
  const ZnException e("ZnBuffer::grow", std::string("buffer too small"), "ZnBuffer.cpp", 120, 12);
  EXPECT_STREQ(e.getFuncName(), "ZnBuffer::grow");
  EXPECT_STREQ(e.what(), "buffer too small");
  EXPECT_STREQ(e.getFileName(), "ZnBuffer.cpp");
  EXPECT_EQ(e.getLineNum(), 120);
  EXPECT_EQ(e.getErrno(), 12);
  EXPECT_EQ(e.formatError(), "ZnBuffer::grow(): buffer too small");

  const ZnException null(nullptr, nullptr, nullptr, 10, 0);
  EXPECT_STREQ(null.getFuncName(), "unknown");
  EXPECT_STREQ(null.getFileName(), "unknown");
  EXPECT_STREQ(null.getMessage(), "Not enough memory");
  EXPECT_EQ(null.formatError(), "unknown(): Not enough memory");
  const ZnException defaults("Fn", "msg", "file.cpp");
  EXPECT_EQ(defaults.getLineNum(), -1);
  EXPECT_EQ(defaults.getErrno(), 0);
}

TEST_F(ZnExceptionLog, ConstructionWritesOneLineIntoTheProcessLog) {
  Open();
  const ZnException plain("ZnStream::read", "end of data", "ZnStream.cpp", 10, 0);
  const ZnException withErrno("ZnEvent::set", std::string("set failed"), "ZnSync.cpp", 20, 5);
  const ZnException negative("Neg", "negative errno", "n.cpp", 30, -4);
  // A '%' in any text is written as it stands, never expanded.
  const ZnException percent("Fmt%s", "100%s %d% done %n", "p%d.cpp", 40, 0);

  const ZnException copy(plain);  // copies write nothing
  for (const char* line : {"func_name=ZnStream::read, file_name=ZnStream.cpp, message='end of data'",
                           "func_name=ZnEvent::set, file_name=ZnSync.cpp, message='set failed', errno= 5",
                           "func_name=Neg, file_name=n.cpp, message='negative errno'",
                           "func_name=Fmt%s, file_name=p%d.cpp, message='100%s %d% done %n'"}) {
    EXPECT_EQ(Count(std::string("ZnException::init(): ") + line), 1) << line;
  }
  EXPECT_EQ(Content().find("errno= -4"), std::string::npos);

  // setMessage replaces the message and logs the new one.
  RenamedException e("Fn", "before", "f.cpp", 1, 0);
  e.rename("after 50%");
  EXPECT_EQ(e.formatError(), "Fn(): after 50%");
  e.rename(nullptr);
  EXPECT_STREQ(e.getMessage(), "Not enough memory");
  EXPECT_EQ(Count("ZnException::setMessage(): message='after 50%'"), 1);
  EXPECT_EQ(Count("ZnException::setMessage(): message='Not enough memory'"), 1);

  // Level 0: dropped only when the log is below it.
  EvDebug().setDebugLevel(-1);
  const ZnException quiet("Quiet", "not logged", "q.cpp", 1, 0);
  EXPECT_EQ(Content().find("not logged"), std::string::npos);
}

TEST_F(ZnExceptionLog, LongMessagesAreCutInTheLogButKeptWhole) {
  Open();
  const std::string huge(10000, 'h');
  const ZnException e("Big", huge, "b.cpp", 1, 0);
  EXPECT_EQ(std::string(e.getMessage()), huge);
  const std::string text = Content();
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
  original.reset();
  for (const ZnException* e : {&copy, &assigned}) {
    EXPECT_STREQ(e->getFileName(), "o.cpp");
    EXPECT_EQ(e->getErrno(), 7);
    EXPECT_EQ(e->formatError(), "Orig(): original");
  }
  assigned = assigned;  // self-assignment keeps the value
  EXPECT_STREQ(assigned.getMessage(), "original");
}

}  // namespace
