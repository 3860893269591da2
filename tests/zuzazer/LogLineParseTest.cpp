// Reading a log line back: every field the formatter writes comes back as
// written, and text that does not start as a log line is told apart.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "zuzazer/FXThreadId.h"
#include "zuzazer/LogLineFormat.h"

namespace {

using yq::LogLineFields;
using yq::LogLinePrefix;

std::string Line(const LogLineFields& fields, const std::string& message) {
  char prefix[512];
  const std::size_t length = yq::FormatLogLinePrefix(prefix, sizeof prefix, fields);
  return std::string(prefix, length) + message + "\n";
}

TEST(LogLineParse, EveryFieldTheFormatterWritesComesBack) {
  LogLineFields fields;
  fields.level = -1;
  fields.showLevel = true;
  fields.jobId = 1234;
  fields.auxiliary = 7;
  fields.function = "Restore::run";
  fields.line = 88;
  fields.context = "job 1234";
  const std::string line = Line(fields, "Restored [12] files");
  LogLinePrefix prefix;
  ASSERT_TRUE(yq::ParseLogLinePrefix(line, prefix)) << line;
  EXPECT_EQ(prefix.processId, static_cast<long>(::getpid()));
  EXPECT_EQ(prefix.threadId, yq::CurrentThreadId());
  EXPECT_EQ(prefix.timestamp.size(), 23u);
  EXPECT_EQ(line.substr(line.find(prefix.timestamp), 23), prefix.timestamp);
  EXPECT_TRUE(prefix.hasLevel);
  EXPECT_EQ(prefix.level, -1);
  EXPECT_EQ(prefix.jobId, 1234);
  EXPECT_EQ(prefix.function, "Restore::run:88");
  EXPECT_EQ(prefix.rest, "{job 1234} Restored [12] files");  // without the line end

  // Without levels, function or message.
  // The prefix views the line: each line outlives what is read from it.
  LogLineFields plain;
  const std::string bare = Line(plain, "");
  ASSERT_TRUE(yq::ParseLogLinePrefix(bare, prefix));
  EXPECT_FALSE(prefix.hasLevel);
  EXPECT_EQ(prefix.jobId, 0);
  EXPECT_EQ(prefix.function, "-");
  EXPECT_EQ(prefix.rest, "");
  plain.jobId = -123456;
  plain.showLevel = true;
  plain.level = 15;
  const std::string levelled = Line(plain, "x");
  ASSERT_TRUE(yq::ParseLogLinePrefix(levelled, prefix));
  EXPECT_EQ(prefix.level, 15);
  EXPECT_EQ(prefix.jobId, -123456);
}

TEST(LogLineParse, TextThatIsNoLogLineIsRefused) {
  LogLinePrefix prefix;
  for (const char* text : {"", "\n", "older 1", "  continued message text", "4123", "4123 1a2f",
                           "4123 1a2f 2026-12-06", "4123 1a2f 2026-12-06 14:03:22 0 Fn x",  // no milliseconds
                           "-4123 1a2f 2026-12-06 14:03:22.123 0 Fn x", "4123 1a2 2026-12-06 14:03:22.123 0 Fn x",
                           "4123 1a2f 2026-12-06 14:03:22.123 Lx 0 Fn x", "4123 1a2f 2026-12-06 14:03:22.123 L 0 Fn x",
                           "4123 1a2f 2026-12-06 14:03:22.123 job Fn x", "4123 1a2f 2026-12-06 14:03:22.123 0#x Fn x",
                           "4123 1a2f 2026/12/06 14:03:22.123 0 Fn x", "4123 1a2f 2026-12-06 14:03:22.123 0 "}) {
    EXPECT_FALSE(yq::ParseLogLinePrefix(text, prefix)) << text;
  }
  ASSERT_TRUE(yq::ParseLogLinePrefix("4123 1a2f 2026-12-06 14:03:22.123 L3 5#2 Fn", prefix));
  EXPECT_EQ(prefix.threadId, 0x1a2fu);
  EXPECT_EQ(prefix.timestamp, "2026-12-06 14:03:22.123");
  EXPECT_EQ(prefix.level, 3);
  EXPECT_EQ(prefix.jobId, 5);
  EXPECT_EQ(prefix.function, "Fn");
}

}  // namespace
