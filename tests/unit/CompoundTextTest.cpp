#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/CompoundText.h"
#include "tests/support/CaseName.h"

namespace {

// Captions as X11 clients write them in a COMPOUND_TEXT WM_NAME (Xlib does so for text
// outside Latin-1), and the UTF-8 they stand for; empty where the text cannot be read.
struct CompoundTextCase : NamedCase {
    std::string compoundText;
    std::string utf8;
};
const std::string kEsc = "\x1b";

const CompoundTextCase kCases[] = {
    {"Ascii", "VOQ006", "VOQ006"},
    {"Latin1InTheRightHalf", "caf\xe9", "caf\xc3\xa9"},
    {"JapaneseInTheRightHalf", kEsc + "$)B\xa5\xbd\xa5\xe9\xa5\xcb\xa5\xab\xa4\xce\xc7\xc8\xc6\xb0",
     "ソラニカの波動"},
    {"JapaneseInTheLeftHalfThenAsciiAgain", kEsc + "$(BGHF0" + kEsc + "(B!", "波動!"},
    {"AsciiJapaneseAndLatin1Mixed", "Wave " + kEsc + "$)B\xc7\xc8\xc6\xb0" + kEsc + "-A\xe9",
     "Wave 波動\xc3\xa9"},
    // Only the Japanese double-byte set is read: no other can spell the viewer's caption.
    {"KoreanSetIsNotRead", kEsc + "$)C\xc7\xd1\xb1\xb9", ""},
    {"ChineseSetIsNotRead", kEsc + "$)A\xba\xba\xd7\xd6", ""},
    {"Utf8Segment", "a" + kEsc + "%G\xe5\x8b\x95" + kEsc + "%@b", "a動b"},
    {"UnknownSet", kEsc + "$)D\xb0\xa1", ""},
    {"UnknownEscape", kEsc + "Zabc", ""},
    {"HalfACharacter", kEsc + "$)B\xc7\xc8\xc6", ""},
    {"NotACharacterOfTheSet", kEsc + "$)B\xa9\xa1", ""},
};

class CompoundTextTest : public testing::TestWithParam<CompoundTextCase> {};

TEST_P(CompoundTextTest, DecodesToUtf8) {
    EXPECT_EQ(CompoundTextToUtf8(GetParam().compoundText), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Captions, CompoundTextTest, testing::ValuesIn(kCases), CaseName);

// Captions written from UTF-8, with the bytes Xlib writes for them
// (Xutf8TextListToTextProperty), each read back as the same text. Xlib puts half-width
// katakana in a set of their own, which no caption of the program needs: they go as UTF-8.
struct EncodingCase : NamedCase {
    std::string utf8;
    std::string compoundText;
};

const EncodingCase kEncodings[] = {
    {"Ascii", "VOQ006", "VOQ006"},
    {"Latin1", "caf\xc3\xa9", "caf\xe9"},
    {"TheCaption", "ソラニカの波動", kEsc + "$(B%=%i%K%+$NGHF0"},
    {"JapaneseThenAscii", "波動!", kEsc + "$(BGHF0" + kEsc + "(B!"},
    {"AsciiJapaneseAndLatin1", "Wave 波動\xc3\xa9", "Wave " + kEsc + "$(BGHF0\xe9"},
    {"OutsideEverySet",
     "a\xf0\x9f\x98\x80"
     "b",
     "a" + kEsc + "%G\xf0\x9f\x98\x80" + kEsc + "%@b"},
    {"HalfWidthKatakana", "ｿﾗ", kEsc + "%Gｿ" + kEsc + "%@" + kEsc + "%Gﾗ" + kEsc + "%@"},
};

class CompoundTextEncoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(CompoundTextEncoding, WritesWhatXlibWritesAndReadsBack) {
    EXPECT_EQ(Utf8ToCompoundText(GetParam().utf8), GetParam().compoundText);
    EXPECT_EQ(CompoundTextToUtf8(GetParam().compoundText), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Captions, CompoundTextEncoding, testing::ValuesIn(kEncodings), CaseName);

TEST(CompoundTextEncoding, WritesABrokenCharacterAsTheReplacementCharacter) {
    EXPECT_EQ(Utf8ToCompoundText("a\xff"
                                 "b"),
              "a" + kEsc + "%G\xef\xbf\xbd" + kEsc + "%@b");
}

TEST(Latin1Text, BecomesUtf8) {
    EXPECT_EQ(Latin1ToUtf8("VOQ \xe9\xff"), "VOQ \xc3\xa9\xc3\xbf");
}

} // namespace
