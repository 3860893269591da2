#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <string>
#include <tuple>
#include <vector>

#include "zuzazer/FXString.h"

namespace {

CYqError FormatLimited(std::string& out, std::size_t limit, const char* format, ...) {
  va_list args;
  va_start(args, format);
  CYqError error = FXString::FormatArgList(out, limit, format, args);
  va_end(args);
  return error;
}

TEST(FXString, FormatCutsAtTheLimitAndFailsWith111) {
  std::string out;
  // Both the stack-buffer path and the heap path.
  ASSERT_TRUE(FormatLimited(out, 10, "%s", "0123456789").IsSuccess());
  EXPECT_EQ(out, "0123456789");
  CYqError error = FormatLimited(out, 10, "%s-%d", "0123456789", 42);
  EXPECT_TRUE(error.Is(111));
  EXPECT_EQ(out, "0123456789");

  const std::string big(FXString::kDefaultMaxFormattedLength + 5000, 'z');
  error = FXString::Format(out, "<%s>", big.c_str());
  EXPECT_TRUE(error.Is(111));
  ASSERT_EQ(out.size(), FXString::kDefaultMaxFormattedLength);
  EXPECT_EQ(out[0], '<');
  EXPECT_EQ(out.find_first_not_of('z', 1), std::string::npos);

  const std::string fits(FXString::kDefaultMaxFormattedLength - 2, 'y');
  ASSERT_TRUE(FXString::Format(out, "<%s>", fits.c_str()).IsSuccess());
  EXPECT_EQ(out, "<" + fits + ">");

  // A stale value from an earlier call never survives.
  ASSERT_TRUE(FXString::Format(out, "%d", 7).IsSuccess());
  EXPECT_EQ(out, "7");
}

TEST(FXString, PercentNIsNeverExecutedAndArgumentsStayAligned) {
  std::string out;
  // Each target holds a zero byte: a sanitizer's printf check reads the
  // argument of the harmless conversion that replaces "%n" up to one.
  int written = 12345;
  signed char small[2] = {99, 0};
  long long wide = -5LL & 0xFFFFFFFFLL;
  ASSERT_TRUE(FXString::Format(out, "ab%ncd", &written).IsSuccess());
  EXPECT_EQ(out, "ab" "cd");
  ASSERT_TRUE(FXString::Format(out, "%d|%n|%s|%hhn|%lln|%d", 1, &written, "two", &small[0], &wide, 3).IsSuccess());
  EXPECT_EQ(out, "1||two|||3");
  EXPECT_EQ(written, 12345);
  EXPECT_EQ(small[0], 99);
  EXPECT_EQ(wide, -5LL & 0xFFFFFFFFLL);

  // The same protection on the long path.
  const std::string big(3000, 'b');
  ASSERT_TRUE(FXString::Format(out, "%s%n!", big.c_str(), &written).IsSuccess());
  EXPECT_EQ(out, big + "!");
  EXPECT_EQ(written, 12345);
}

// Through a variable, so the compiler does not reject the formats.
CYqError FormatAny(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  CYqError error = FXString::FormatArgList(out, format, args);
  va_end(args);
  return error;
}

int FormatIntoBuffer(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FXString::FormatToBuffer(buffer, size, format, args);
  va_end(args);
  return length;
}

TEST(FXString, PercentNWithStarsOrPositionsIsNeverExecutedEither) {
  std::string out;
  // No zero byte in the targets: nothing may read them as texts.
  int written = 0x41414141;
  long long wide = 0x4242424242424242LL;
  ASSERT_TRUE(FormatAny(out, "[%*n][%.*n][%-*.*lln]%s|%d", 7, &written, 3, &written, 2, 9, &wide, "tail", 5)
                  .IsSuccess());
  EXPECT_EQ(out, "[][][]tail|5");
  // Stars of the other conversions still take their arguments.
  ASSERT_TRUE(FormatAny(out, "%*d|%*n|%-*.*s|%.*f|%c", 5, 42, 9, &written, 4, 2, "xyz", 1, 2.26, 'q').IsSuccess());
  EXPECT_EQ(out, "   42||xy  |2.3|q");
  // Positional arguments, a star among them.
  ASSERT_TRUE(FormatAny(out, "%2$s-%1$d%3$n-%4$*1$s", 4, "two", &written, "r").IsSuccess());
  EXPECT_EQ(out, "two-4-   r");
  ASSERT_TRUE(FormatAny(out, "%3$*2$n%1$s", "only", 6, &written).IsSuccess());
  EXPECT_EQ(out, "only");
  // A position read as a text and as a number is refused before any
  // argument is read (found by the fuzzer: with "%1$s" and "%1$o" a number
  // was printed as a text); one no conversion names is skipped as an int.
  EXPECT_FALSE(FormatAny(out, "%1$s %3$n%1$o", "one", 2, &written).IsSuccess());
  ASSERT_TRUE(FormatAny(out, "%1$s%3$n%4$s", "one", 2, &written, "four").IsSuccess());
  EXPECT_EQ(out, "onefour");
  // Every argument width: long double, wide characters, sizes, pointers.
  ASSERT_TRUE(FormatAny(out, "%hhn%Lg|%zu|%lc|%ls|%%|%jd|%n", &written, 1.5L, static_cast<std::size_t>(7),
                        static_cast<wint_t>(L'w'), L"ws", static_cast<intmax_t>(-3), &written)
                  .IsSuccess());
  EXPECT_EQ(out, "1.5|7|w|ws|%|-3|");
  // A modifier pair glibc does not know ends the conversion there: "%lq" is
  // printed as written, and the "%n" after it is still a "%n" (found by the
  // fuzzer, when "lq%" was taken for one conversion).
  ASSERT_TRUE(FormatAny(out, "%lq%n|%hhhd", &written, 5).IsSuccess());
  EXPECT_EQ(out, "%lq|%hhhd");
  EXPECT_EQ(written, 0x41414141);
  EXPECT_EQ(wide, 0x4242424242424242LL);

  // Into a buffer too small, as the log line path formats: the full length
  // and a cut, terminated text.
  char buffer[4];
  EXPECT_EQ(FormatIntoBuffer(buffer, sizeof buffer, "ab%*ncdef", 3, &written), 6);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(written, 0x41414141);
}

TEST(FXString, StrayPercentAtTheEndIsPrintedLiterally) {
  std::string out;
  // Through variables, so the compiler does not reject the formats.
  for (const auto& [format, text] : std::vector<std::pair<const char*, std::string>>{
           {"%d is 100%", "5 is 100%"}, {"%d %-5", "5 %-5"}, {"%d%%", "5%"}}) {
    ASSERT_TRUE(FXString::Format(out, format, 5).IsSuccess());
    EXPECT_EQ(out, text) << format;
  }

  char buffer[8] = "junk";
  va_list none{};
  EXPECT_EQ(FXString::FormatToBuffer(buffer, sizeof buffer, nullptr, none), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(FXString, CaseTrimAndSplit) {
  // ASCII only: bytes of other characters are left alone.
  EXPECT_EQ(FXString::ToUpper("abc-XyZ_09 \xc3\xa4"), "ABC-XYZ_09 \xc3\xa4");
  EXPECT_EQ(FXString::ToLower("ABC-xYz_09 \xc3\x84"), "abc-xyz_09 \xc3\x84");
  EXPECT_TRUE(FXString::EqualsNoCase("EventManager", "EVENTmanager"));
  EXPECT_FALSE(FXString::EqualsNoCase("abc", "abcd"));
  EXPECT_FALSE(FXString::EqualsNoCase("a[", "A{"));  // '[' and '{' differ by 0x20 too
  EXPECT_FALSE(FXString::EqualsNoCase("\xc3\xa4", "\xc3\x84"));

  EXPECT_EQ(FXString::Trim(" \t\r\n a b \v\f\n"), "a b");
  EXPECT_EQ(FXString::Trim(" \t \n"), "");
  EXPECT_EQ(FXString::Trim("\"'value'\"", "\"'"), "value");

  using Fields = std::vector<std::string>;
  EXPECT_EQ(FXString::Split(",a,,b,", ','), (Fields{"", "a", "", "b", ""}));
  EXPECT_EQ(FXString::Split("", ','), (Fields{""}));
  EXPECT_EQ(FXString::Split("1.2.3", ','), (Fields{"1.2.3"}));
}

TEST(FXString, Utf8AndWideRoundTrip) {
  // 1-, 2-, 3- and 4-byte characters.
  const std::string utf8 = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z";
  const std::wstring wide = FXString::ToWstring(utf8);
  EXPECT_EQ(wide, (std::wstring{L'a', wchar_t(0xE9), wchar_t(0x20AC), wchar_t(0x1F600), L'z'}));
  EXPECT_EQ(FXString::ToString(wide), utf8);
  // The edges of each length.
  const std::wstring edges{wchar_t(0x7F), wchar_t(0x80), wchar_t(0x7FF), wchar_t(0x800), wchar_t(0xFFFF),
                           wchar_t(0x10000), wchar_t(0x10FFFF)};
  EXPECT_EQ(FXString::ToWstring(FXString::ToString(edges)), edges);
  EXPECT_EQ(FXString::ToWstring(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
}

// True when `text` holds only U+FFFD and at least one of it.
bool AllReplacement(const std::wstring& text) {
  return !text.empty() && text.find_first_not_of(L'\uFFFD') == std::wstring::npos;
}

TEST(FXString, InvalidUtf8BecomesReplacementWithoutLosingWhatFollows) {
  EXPECT_EQ(FXString::ToWstring("\xff"), L"\uFFFD");
  EXPECT_EQ(FXString::ToWstring("a\x80z"), L"a\uFFFDz");

  // A sequence cut short by an ordinary character or by the end of the text:
  // the bad bytes become U+FFFD and what surrounds them stays.
  for (const auto& [text, before, after] : std::vector<std::tuple<std::string, std::wstring, std::wstring>>{
           {"\xe2" "A", L"", L"A"}, {"\xf0\x9f" "ok", L"", L"ok"}, {"ab\xe2\x82", L"ab", L""}}) {
    const std::wstring wide = FXString::ToWstring(text);
    ASSERT_GT(wide.size(), before.size() + after.size());
    EXPECT_TRUE(wide.starts_with(before) && wide.ends_with(after));
    EXPECT_TRUE(AllReplacement(wide.substr(before.size(), wide.size() - before.size() - after.size())));
  }

  // Surrogates, values above U+10FFFF and overlong forms are not characters;
  // an overlong "/" must never come out as a separator.
  for (const char* bad : {"\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc0\xaf", "\xe0\x80\xaf", "\xf0\x80\x80\xaf",
                          "\xc1\xbf"}) {
    SCOPED_TRACE(bad);
    EXPECT_TRUE(AllReplacement(FXString::ToWstring(bad)));
  }

  // Wide values that are not characters come out as U+FFFD.
  EXPECT_EQ(FXString::ToString(std::wstring{wchar_t(0xD800)}), "\xef\xbf\xbd");
  EXPECT_EQ(FXString::ToString(std::wstring{wchar_t(0x110000), L'x'}), "\xef\xbf\xbdx");
  EXPECT_EQ(FXString::ToString(std::wstring{wchar_t(-1)}), "\xef\xbf\xbd");
}

}  // namespace
