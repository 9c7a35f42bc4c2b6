#pragma once

#include <QString>
#include <QStringList>

class QRawFont;

// The family names a font file records for its face, in every language it records them
// (its "name" table: the family and the typographic family, names 1 and 16). fontconfig
// and Qt report one of them, chosen by the user's language ("IPAゴシック" for a Japanese
// user, "IPAGothic" for others), so a face is recognised by the whole list instead. Empty
// for a font without a readable name table.
QStringList FamilyNamesOf(const QRawFont& font);
