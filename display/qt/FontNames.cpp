// Reading a face's family names from its OpenType/TrueType "name" table: a header of three
// 16-bit fields (format, record count, offset of the string storage), then 12-byte records
// (platform, encoding, language, name id, length, offset into the storage). Every number is
// big-endian. The table comes from the font file and is checked against its own size
// before each read.

#include "display/qt/FontNames.h"

#include <QByteArray>
#include <QRawFont>

#include <cstdint>

namespace {

// The name ids of a face's family (1) and typographic family (16).
constexpr std::uint16_t kFamilyNameId = 1;
constexpr std::uint16_t kTypographicFamilyNameId = 16;
// Platforms whose names are UTF-16BE (Unicode, Windows), and the Macintosh one, whose
// Roman names are ASCII for the families this program asks for.
constexpr std::uint16_t kUnicodePlatform = 0;
constexpr std::uint16_t kMacintoshPlatform = 1;
constexpr std::uint16_t kWindowsPlatform = 3;

constexpr int kHeaderBytes = 6;
constexpr int kRecordBytes = 12;

std::uint16_t BigEndian16(const QByteArray& bytes, int at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) << 8 |
                                      static_cast<std::uint8_t>(bytes[at + 1]));
}

QString DecodeName(const QByteArray& text, std::uint16_t platform) {
    if (platform == kMacintoshPlatform) {
        return QString::fromLatin1(text);
    }
    QString name;
    for (int at = 0; at + 1 < text.size(); at += 2) {
        name.append(QChar(BigEndian16(text, at)));
    }
    return name;
}

} // namespace

QStringList FamilyNamesOf(const QRawFont& font) {
    const QByteArray table = font.fontTable("name");
    if (table.size() < kHeaderBytes) {
        return {};
    }
    const int count = BigEndian16(table, 2);
    const int storage = BigEndian16(table, 4);
    QStringList names;
    for (int record = 0; record < count; ++record) {
        const int at = kHeaderBytes + record * kRecordBytes;
        if (at + kRecordBytes > table.size()) {
            break;
        }
        const std::uint16_t platform = BigEndian16(table, at);
        const std::uint16_t nameId = BigEndian16(table, at + 6);
        const int length = BigEndian16(table, at + 8);
        const int offset = storage + BigEndian16(table, at + 10);
        const bool family = nameId == kFamilyNameId || nameId == kTypographicFamilyNameId;
        const bool readable = platform == kUnicodePlatform || platform == kMacintoshPlatform ||
                              platform == kWindowsPlatform;
        if (!family || !readable || offset + length > table.size()) {
            continue;
        }
        const QString name = DecodeName(table.mid(offset, length), platform);
        if (!names.contains(name)) {
            names.append(name);
        }
    }
    return names;
}
