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

// The sets in use: the left half is ASCII or a two-byte set, the right half Latin-1 or a
// two-byte set. A two-byte set is decoded through its EUC encoding, whose bytes are the
// set's bytes with the top bit set.
struct DesignatedSets {
    const char* leftDoubleByte{};
    const char* rightDoubleByte{};
    bool utf8{};
};

// Applies the escape sequence whose bytes after ESC begin rest. The bytes it takes, ESC
// included, or 0 for a sequence this decoder does not know. ESC % G and ESC % @ start and
// end UTF-8, inside which nothing else may follow; ESC ( B and ESC - A give a half back to
// ASCII and Latin-1; ESC $ ( F and ESC $ ) F put a two-byte set into a half.
std::size_t ApplyEscape(const std::string& rest, DesignatedSets& sets) {
    const auto starts = [&rest](const char* prefix) { return rest.rfind(prefix, 0) == 0; };
    if (starts("%G") || starts("%@")) {
        sets.utf8 = rest[1] == 'G';
        return 3;
    }
    if (sets.utf8) {
        return 0;
    }
    const bool left = starts("(B") || starts("$(");
    if (!left && !starts("-A") && !starts("$)")) {
        return 0;
    }
    const char*& half = left ? sets.leftDoubleByte : sets.rightDoubleByte;
    if (rest[0] != '$') {
        half = nullptr;
        return 3;
    }
    half = rest.size() == 3 ? EucOfDoubleByteSet(rest[2]) : nullptr;
    return half != nullptr ? 4 : 0;
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
    DesignatedSets sets;
    std::string text;
    std::size_t i = 0;
    const std::size_t size = compoundText.size();
    while (i < size) {
        const auto byte = static_cast<unsigned char>(compoundText[i]);
        if (byte == 0x1B) {
            const std::size_t taken = ApplyEscape(compoundText.substr(i + 1, 3), sets);
            if (taken == 0) {
                return {};
            }
            i += taken;
            continue;
        }
        if (sets.utf8 || byte == '\n' || byte == '\t') {
            text += static_cast<char>(byte);
            ++i;
            continue;
        }
        const bool right = byte >= 0x80;
        const char* doubleByte = right ? sets.rightDoubleByte : sets.leftDoubleByte;
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
