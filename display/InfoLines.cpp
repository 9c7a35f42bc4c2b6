#include "display/InfoLines.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

constexpr std::uint32_t kBytesPerKilobyte = 1024;
constexpr std::uint32_t kBytesPerMegabyte = 1048576;

// U+FFFD REPLACEMENT CHARACTER in UTF-8.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

std::string PadLeft(std::string_view text, int width) {
    std::string padded;
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
        padded.assign(static_cast<std::size_t>(width) - text.size(), ' ');
    }
    padded.append(text);
    return padded;
}

std::string_view ChannelWord(std::uint16_t channels) {
    switch (channels) {
    case 1:
        return "モノラル, ";
    case 2:
        return "ステレオ, ";
    default:
        return "－－－－, "; // four U+FF0D FULLWIDTH HYPHEN-MINUS
    }
}

// The file size from the RIFF header, in the largest unit it reaches.
std::string SizeText(std::uint32_t fileLength) {
    if (fileLength >= kBytesPerMegabyte) {
        return FormatTwoDecimals(static_cast<double>(fileLength) / kBytesPerMegabyte, 7) + " MB, ";
    }
    if (fileLength >= kBytesPerKilobyte) {
        return FormatTwoDecimals(static_cast<double>(fileLength) / kBytesPerKilobyte, 7) + " KB, ";
    }
    return FormatDecimal(static_cast<std::int32_t>(fileLength), 7) + " Byte, ";
}

std::string Summary(const WaveRecord& record) {
    // "%d" takes the unsigned header values as signed 32-bit ones, so 2^31 and more print
    // as negative numbers.
    const double seconds =
        static_cast<double>(record.dataSize) / static_cast<double>(record.byteRate);
    std::string summary(ChannelWord(record.channels));
    summary += FormatDecimal(static_cast<std::int32_t>(record.sampleRate), 6) + " Hz, ";
    summary += FormatDecimal(record.bitsPerSample, 3) + " Bit, ";
    summary += SizeText(record.fileLength);
    summary += "  " + FormatTwoDecimals(seconds, 0) + " 秒, ";
    summary += "  " + FormatDecimal(static_cast<std::int32_t>(record.frameCount), 0) + " 個";
    return summary;
}

// What may follow a lead byte in well-formed UTF-8: the sequence length, and the range of
// the second byte (later bytes are always 0x80..0xBF). The narrower ranges after E0, ED,
// F0 and F4 exclude overlong forms, surrogates and values beyond U+10FFFF.
struct LeadByte {
    std::size_t length; // 0 when the byte cannot start a sequence
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadByte ClassifyLeadByte(unsigned char byte) {
    if (byte < 0x80) {
        return {1, 0, 0};
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (byte == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (byte == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (byte >= 0xE1 && byte <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (byte == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (byte >= 0xF1 && byte <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (byte == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

// The bytes as valid UTF-8: each ill-formed part becomes one U+FFFD where it stands, the
// part being the longest start of a valid sequence (or a single byte), as Unicode
// recommends. A path on Linux is any bytes; the surface draws UTF-8.
std::string WithReplacementCharacters(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const LeadByte lead = ClassifyLeadByte(static_cast<unsigned char>(bytes[at]));
        std::size_t fitting = lead.length == 0 ? 0 : 1; // bytes that fit the sequence so far
        while (fitting < lead.length && at + fitting < bytes.size()) {
            const auto byte = static_cast<unsigned char>(bytes[at + fitting]);
            const unsigned char low = fitting == 1 ? lead.secondLow : 0x80;
            const unsigned char high = fitting == 1 ? lead.secondHigh : 0xBF;
            if (byte < low || byte > high) {
                break;
            }
            ++fitting;
        }
        if (lead.length != 0 && fitting == lead.length) {
            text.append(bytes.substr(at, fitting));
        } else {
            text.append(kReplacementCharacter);
            fitting = fitting == 0 ? 1 : fitting;
        }
        at += fitting;
    }
    return text;
}

} // namespace

std::string FormatDecimal(std::int32_t value, int width) {
    char digits[16]; // "-2147483648" is the longest
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return PadLeft(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), width);
}

std::string FormatTwoDecimals(double value, int width) {
    if (std::isnan(value)) {
        return PadLeft("-nan", width);
    }
    // The largest double has 309 digits before the point; infinities print as "inf".
    char digits[320];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
    return PadLeft(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), width);
}

InfoTexts DescribeInfoLines(const WaveRecord& record) {
    return {WithReplacementCharacters(record.path), Summary(record)};
}

int DrawInfoLines(DrawingSurface& surface, const WaveRecord& record, int x, int y) {
    const InfoTexts texts = DescribeInfoLines(record);
    surface.TextOut(x, y, texts.path);
    surface.TextOut(x, y + kInfoLineHeight, texts.summary);
    return 0;
}
