#include "common/text_decoding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dllscope {
namespace {

// Stands in for the ANSI code page: Latin-1, byte for byte.
std::wstring Latin1(const char* data, std::size_t size) {
    std::wstring out;
    for (std::size_t i = 0; i < size; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(data[i]));
    return out;
}

std::wstring Decode(const std::string& bytes) { return DecodeFileText(bytes, Latin1); }

TEST(TextDecoding, ByteOrderMarksDecideAndAreDropped) {
    EXPECT_EQ(Decode("\xEF\xBB\xBF" "a\xC3\xA4"), L"a\u00E4");
    EXPECT_EQ(Decode(std::string("\xFF\xFE" "a\0\xE4\0", 6)), L"a\u00E4");
    EXPECT_EQ(Decode(std::string("\xFE\xFF\0a\0\xE4", 6)), L"a\u00E4");
    // A character outside the BMP as its surrogate pair.
    const std::wstring emoji{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(Decode(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)), emoji);
    EXPECT_EQ(Decode("\xF0\x9F\x98\x80"), emoji);
}

TEST(TextDecoding, ValidUtf8WithoutMarkIsUtf8AndAnythingElseIsAnsi) {
    EXPECT_EQ(DetectEncoding("Stra\xC3\x9F" "e"), TextEncoding::Utf8);
    EXPECT_EQ(Decode("Stra\xC3\x9F" "e"), L"Stra\u00DFe");
    EXPECT_EQ(DetectEncoding("Stra\xDF" "e"), TextEncoding::Ansi);
    EXPECT_EQ(Decode("Stra\xDF" "e"), L"Stra\u00DFe");
    EXPECT_EQ(DetectEncoding(""), TextEncoding::Utf8);
    EXPECT_EQ(Decode(""), L"");
}

TEST(TextDecoding, RejectsOverlongSurrogateAndTruncatedUtf8) {
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF", 2));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80", 3));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80", 4));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("a\xE2\x82", 3));         // cut short
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC", 3));       // the euro sign
    // The smallest character of each length is no overlong; one below it is.
    EXPECT_TRUE(IsValidUtf8("\xC2\x80", 2));          // U+0080
    EXPECT_TRUE(IsValidUtf8("\xE0\xA0\x80", 3));      // U+0800
    EXPECT_TRUE(IsValidUtf8("\xF0\x90\x80\x80", 4));  // U+10000
    EXPECT_FALSE(IsValidUtf8("\xC1\xBF", 2));
    EXPECT_FALSE(IsValidUtf8("\xE0\x9F\xBF", 3));
    EXPECT_FALSE(IsValidUtf8("\xF0\x8F\xBF\xBF", 4));
}

TEST(TextDecoding, NulCharactersAndBrokenUnitsShowAsReplacementCharacters) {
    EXPECT_EQ(Decode(std::string("a\0b", 3)), L"a\uFFFDb");                      // UTF-8
    EXPECT_EQ(Decode(std::string("\xFF\xFE" "a\0\0\0b", 7)), L"a\uFFFD\uFFFD");  // odd byte
    EXPECT_EQ(Decode(std::string("\xFF\x00\x01", 3)), L"\u00FF\uFFFD\u0001");  // FF alone: ANSI
    EXPECT_EQ(Decode("\xEF\xBB\xBF" "a\xFF"), L"a\uFFFD");
}

}  // namespace
}  // namespace dllscope
