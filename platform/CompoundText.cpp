#include "platform/CompoundText.h"

#include <iconv.h>

#include <cstdint>

namespace {

// Code points up to U+07FF, all that Latin-1 needs.
void AppendCodePoint(std::string& text, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Converts bytes of an EUC encoding to UTF-8; false when they are not valid in it.
bool AppendConverted(std::string& text, const char* encoding, const std::string& bytes) {
    iconv_t converter = iconv_open("UTF-8", encoding);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string input = bytes;
    std::string output(bytes.size() * 3 + 4, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const bool converted =
        iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!converted || inLeft != 0) {
        return false;
    }
    text.append(output.data(), output.size() - outLeft);
    return true;
}

// The EUC encoding whose two-byte set is the ISO 2022 94x94 set with final byte f. Only
// JIS X 0208 ('B') is read: it is the set Qt writes a Japanese caption in.
const char* EucOfDoubleByteSet(char f) {
    return f == 'B' ? "EUC-JP" : nullptr;
}

} // namespace

std::string Latin1ToUtf8(const std::string& latin1) {
    std::string text;
    for (const char byte : latin1) {
        AppendCodePoint(text, static_cast<unsigned char>(byte));
    }
    return text;
}

std::string CompoundTextToUtf8(const std::string& compoundText) {
    // The sets in use: the left half is ASCII or a two-byte set, the right half Latin-1
    // or a two-byte set. A two-byte set is decoded through its EUC encoding, whose bytes
    // are the set's bytes with the top bit set.
    const char* leftDoubleByte = nullptr;
    const char* rightDoubleByte = nullptr;
    bool utf8 = false;
    std::string text;
    std::size_t i = 0;
    const std::size_t size = compoundText.size();
    while (i < size) {
        const auto byte = static_cast<unsigned char>(compoundText[i]);
        if (byte == 0x1B) {
            const std::string rest = compoundText.substr(i + 1, 3);
            if (rest.rfind("%G", 0) == 0) {
                utf8 = true;
                i += 3;
            } else if (rest.rfind("%@", 0) == 0) {
                utf8 = false;
                i += 3;
                // Inside UTF-8 only its end may follow, so this rejects as the last branch does.
                // NOLINTNEXTLINE(bugprone-branch-clone)
            } else if (utf8) {
                return {};
            } else if (rest.rfind("(B", 0) == 0) {
                leftDoubleByte = nullptr;
                i += 3;
            } else if (rest.rfind("-A", 0) == 0) {
                rightDoubleByte = nullptr;
                i += 3;
            } else if (rest.size() == 3 && rest.rfind("$(", 0) == 0 &&
                       EucOfDoubleByteSet(rest[2]) != nullptr) {
                leftDoubleByte = EucOfDoubleByteSet(rest[2]);
                i += 4;
            } else if (rest.size() == 3 && rest.rfind("$)", 0) == 0 &&
                       EucOfDoubleByteSet(rest[2]) != nullptr) {
                rightDoubleByte = EucOfDoubleByteSet(rest[2]);
                i += 4;
            } else {
                return {};
            }
            continue;
        }
        if (utf8 || byte == '\n' || byte == '\t') {
            text += static_cast<char>(byte);
            ++i;
            continue;
        }
        const bool right = byte >= 0x80;
        const char* doubleByte = right ? rightDoubleByte : leftDoubleByte;
        if (doubleByte == nullptr) {
            if (right) {
                AppendCodePoint(text, byte);
            } else {
                text += static_cast<char>(byte);
            }
            ++i;
            continue;
        }
        if (i + 1 >= size) {
            return {};
        }
        std::string pair = compoundText.substr(i, 2);
        pair[0] = static_cast<char>(pair[0] | 0x80);
        pair[1] = static_cast<char>(pair[1] | 0x80);
        if (!AppendConverted(text, doubleByte, pair)) {
            return {};
        }
        i += 2;
    }
    return text;
}
