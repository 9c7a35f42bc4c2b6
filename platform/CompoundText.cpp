#include "platform/CompoundText.h"

#include <iconv.h>

#include <algorithm>
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

// Converts bytes from one encoding to another; false when they are not valid in it.
bool AppendConverted(std::string& text, const char* to, const char* from,
                     const std::string& bytes) {
    iconv_t converter = iconv_open(to, from);
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
// JIS X 0208 ('B') is read: it is the set Xlib writes a Japanese caption in.
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
        if (!AppendConverted(text, "UTF-8", doubleByte, pair)) {
            return {};
        }
        i += 2;
    }
    return text;
}

namespace {

// The length of the UTF-8 character that starts at text[at], or 0 where no whole, valid
// character starts there.
std::size_t CharacterLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = at + 1; i < at + length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// The Latin-1 byte of a UTF-8 character from U+00A0 to U+00FF, or 0.
unsigned char Latin1Byte(const std::string& character) {
    if (character.size() != 2) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(character[0]);
    const auto next = static_cast<unsigned char>(character[1]);
    const unsigned codePoint = ((lead & 0x1Fu) << 6) | (next & 0x3Fu);
    return codePoint >= 0xA0 && codePoint <= 0xFF ? static_cast<unsigned char>(codePoint) : 0;
}

// The two bytes of a UTF-8 character in JIS X 0208 (as they stand in the left half), or an
// empty string where that set has no such character.
std::string JisX0208Bytes(const std::string& character) {
    std::string euc;
    if (!AppendConverted(euc, "EUC-JP", "UTF-8", character) || euc.size() != 2) {
        return {};
    }
    for (char& byte : euc) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0xA1 || value > 0xFE) {
            return {}; // a half-width katakana or another set that EUC-JP also holds
        }
        byte = static_cast<char>(value & 0x7F);
    }
    return euc;
}

} // namespace

std::string Utf8ToCompoundText(const std::string& utf8) {
    // The escape sequences that put ASCII or JIS X 0208 into the left half, and that start
    // and end UTF-8.
    const std::string toAscii = "\x1b(B";
    const std::string toJapanese = "\x1b$(B";
    const std::string utf8Starts = "\x1b%G";
    const std::string utf8Ends = "\x1b%@";
    std::string text;
    bool japaneseOnTheLeft = false; // else ASCII, as a compound text starts
    std::size_t at = 0;
    while (at < utf8.size()) {
        const std::size_t length = CharacterLength(utf8, at);
        // A byte that starts no character stands for the replacement character.
        const std::string character = length > 0 ? utf8.substr(at, length) : "\xef\xbf\xbd";
        at += std::max<std::size_t>(length, 1);
        if (character.size() == 1) {
            text.append(japaneseOnTheLeft ? toAscii : "").append(character);
            japaneseOnTheLeft = false;
            continue;
        }
        if (const unsigned char latin1 = Latin1Byte(character); latin1 != 0) {
            text += static_cast<char>(latin1); // the right half holds Latin-1 throughout
            continue;
        }
        if (const std::string japanese = JisX0208Bytes(character); !japanese.empty()) {
            text.append(japaneseOnTheLeft ? "" : toJapanese).append(japanese);
            japaneseOnTheLeft = true;
            continue;
        }
        text.append(utf8Starts).append(character).append(utf8Ends);
    }
    return text;
}
