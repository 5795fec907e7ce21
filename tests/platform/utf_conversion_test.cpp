// UTF-8 and UTF-16 conversion on malformed input: every bad sequence becomes
// U+FFFD without swallowing what follows, and nothing smuggles a character past.

#include <gtest/gtest.h>

#include <string>

#include "platform/text.hpp"

namespace tarrow {
namespace {

TEST(Utf8ToUtf16, MalformedSequencesBecomeReplacementCharacters) {
    const std::u16string bad = u"\uFFFD";
    const std::pair<std::string, std::u16string> cases[] = {
        {"\xC0\xAF" "x", bad + u"x"},                  // overlong "/"
        {"\xE0\x80\xAF", bad},                         // overlong in three bytes
        {"\xF0\x80\x80\xAF", bad},                     // and in four
        {"\xC3", bad},                                 // truncated at the end
        {"\xE2\x82" "a", bad + u"a"},                  // truncated before a character
        {"\xF0\x9F\x98" "\xC3\xA9", bad + u"\u00E9"},  // truncated before a sequence
        {"\x80\xBF" "a", bad + bad + u"a"},            // lone continuation bytes
        {"\xED\xA0\x80", bad},                         // a surrogate, encoded
        {"\xED\xA0\xBD\xED\xB8\x80", bad + bad},       // a pair encoded one by one
        {"\xF4\x90\x80\x80", bad},                     // U+110000
        {"\xF5\x80\x80\x80" "a", bad + u"a"},
        {"\xFE\xFF", bad + bad},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // NUL is a character
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(Utf8ToUtf16(bytes), text) << testing::PrintToString(bytes);
        // Valid input, and only valid input, comes back byte for byte.
        const bool valid = text.find(u'\uFFFD') == std::u16string::npos;
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes, valid) << testing::PrintToString(bytes);
    }
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string bad = "\xEF\xBF\xBD";
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a\xD800", "a" + bad},                       // a high one at the end
        {u"\xD800" u"a", bad + "a"},                   // a high one before a character
        {u"\xDC00" u"a", bad + "a"},                   // a lone low one
        {u"\xDC00\xD800", bad + bad},                  // a pair reversed
        {u"\xD800\xD800\xDC00", bad + "\xF0\x90\x80\x80"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
        {u"\u07FF\u0800\uFFFF", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
    };
    for (const auto& [text, bytes] : cases) EXPECT_EQ(Utf16ToUtf8(text), bytes) << testing::PrintToString(bytes);
}

}  // namespace
}  // namespace tarrow
