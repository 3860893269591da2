// CError values and packed message ids.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>
#include <vector>

#include "zn/error/CError.h"
#include "zn/error/CErrorMessageId.h"

namespace {

TEST(CError, NewValueIsEmptyAndSetWithoutTextSaysNoText) {
  CError error;
  EXPECT_EQ(error.getCode(), 0);
  EXPECT_STREQ(error.getText(), "");
  error.set(-7, "some %s", "text");
  error.set(9);
  EXPECT_EQ(error.getCode(), 9);
  EXPECT_STREQ(error.getText(), "NoText");
}

TEST(CError, FormattedTextHasLineBreaksBlanked) {
  CError error;
  error.set(1, "a\nb");
  EXPECT_STREQ(error.getText(), "a b");
  error.set(2, "%s|%d", "x\r\ny\vz\f", 42);
  EXPECT_STREQ(error.getText(), "x  y z |42");
  // Tabs and other control characters stay.
  error.set(3, "t\tu");
  EXPECT_STREQ(error.getText(), "t\tu");

  char text[] = "p\nq\rr\vs\ft";
  CError::_nrvtfEscSequenceCleanUp(text);
  EXPECT_STREQ(text, "p q r s t");
  CError::_nrvtfEscSequenceCleanUp(nullptr);
}

TEST(CError, LongTextsAreCutTo512Characters) {
  std::string text;
  for (int i = 0; i < 600; ++i) text += static_cast<char>('a' + i % 26);
  CError error;
  error.set(4, "%s", text.c_str());
  EXPECT_EQ(std::string(error.getText()), text.substr(0, 512));

  // Beyond the formatting bound as well.
  const std::string huge(5000, 'z');
  error.set(4, "%s%s", "\n", huge.c_str());
  EXPECT_EQ(std::string(error.getText()), " " + std::string(511, 'z'));

  // A shorter text replaces a longer one completely.
  error.set(5, "short");
  EXPECT_STREQ(error.getText(), "short");
}

TEST(CError, SetSystemUsesTheThreadsLastError) {
  CError error;
  // errno, code and text.
  for (const auto& [number, code, text] : std::vector<std::tuple<int, int, std::string>>{
           {0, 0, "No Errors"},
           {ENOENT, 2, "opening file (SYSTEM: No such file or directory)"},
           {EACCES, 5, "opening file (SYSTEM: Permission denied)"}}) {
    errno = number;
    error.setSystem("opening %s", "file");
    EXPECT_EQ(error.getCode(), code);
    EXPECT_STREQ(error.getText(), text.c_str());
  }
  // The combined text is cut like any other.
  const std::string longMessage(600, 'm');
  errno = ENOENT;
  error.setSystem("%s", longMessage.c_str());
  EXPECT_EQ(std::string(error.getText()), std::string(512, 'm'));
}

TEST(CErrorMessageId, PacksSubsystemAndIndex) {
  const CErrorMessageId id(3, 7);
  EXPECT_EQ(id.value(), 0x03000007u);
  EXPECT_EQ(id.subSystemId(), 3);
  EXPECT_EQ(id.index(), 7u);
  EXPECT_TRUE(id == 0x03000007u && id != 0x03000008u);
  EXPECT_FALSE(id != 0x03000007u);

  const CErrorMessageId whole(0xFE123456u);
  EXPECT_EQ(whole.subSystemId(), 0xFE);
  EXPECT_EQ(whole.index(), 0x123456u);

  CErrorMessageId made;
  EXPECT_EQ(made.value(), 0u);
  EXPECT_EQ(made.messageId(0xFF, 0xFFFFFF), 0xFFFFFFFFu);
  // The index is not masked: its high bits reach the subsystem.
  EXPECT_EQ(made.messageId(1, 0x01000002), 0x01000002u);

  CErrorMessageId copy(id);
  EXPECT_TRUE(copy == id);
  copy = 0x0A00000Bu;
  EXPECT_TRUE(copy != id && copy.subSystemId() == 0x0A && copy.index() == 0x0Bu);
}

}  // namespace
