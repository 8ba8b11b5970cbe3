// UTF-16 <-> UTF-8 for the W exports: whole strings convert or fail.
#include "platform/text_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using pelnik::platform::utf16ToUtf8;
using pelnik::platform::utf8ToUtf16;

TEST(TextConvert, RoundTripsEveryPlaneAndLengthOfSequence) {
  // One, two, three and four UTF-8 bytes; the last is a surrogate pair.
  using namespace std::string_literals;
  const std::u16string wide = u"a\u00e9\u30ab\U0001F600/\u0000z"s;
  const auto narrow = utf16ToUtf8(wide);
  ASSERT_TRUE(narrow.has_value());
  EXPECT_EQ(*narrow, "a\xC3\xA9\xE3\x82\xAB\xF0\x9F\x98\x80/\0z"s);
  EXPECT_EQ(utf8ToUtf16(*narrow), wide);
  EXPECT_EQ(utf16ToUtf8(u"\uD7FF\uE000\uFFFF"), utf16ToUtf8(*utf8ToUtf16("\uD7FF\uE000\uFFFF")));
}

TEST(TextConvert, UnpairedSurrogatesAndMalformedUtf8Fail) {
  for (const std::u16string &bad :
       {std::u16string{u'a', u'b', char16_t(0xD800)}, std::u16string{char16_t(0xDC00), u'x'},
        std::u16string{u'x', char16_t(0xD83D), u'y'}, std::u16string(2, char16_t(0xD800))}) {
    EXPECT_FALSE(utf16ToUtf8(bad).has_value());
  }
  EXPECT_FALSE(utf16ToUtf8(static_cast<const char16_t *>(nullptr)).has_value());
  for (const char *bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xE3\x82", "\x80", "\xFF"}) {
    EXPECT_FALSE(utf8ToUtf16(bad).has_value()) << bad;
  }
}

}  // namespace
