#include "shell/VersionDlg.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "resources/ApplicationResources.h"

namespace {

// A caption with the window menu and a close box; no minimise or maximise button.
constexpr Qt::WindowFlags kFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The icon keeps its own size, in pixels.
constexpr QSize kIconSize(32, 32);

// A rectangle in dialog units, in pixels for font, as the classic system converts them: a
// horizontal unit is a quarter of the average width of "A" to "Z" and "a" to "z", a vertical
// unit an eighth of the font's height, each result rounded to the nearest pixel.
QRect ToPixels(int x, int y, int width, int height, const QFont& font) {
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int averageWidth = (advance / 26 + 1) / 2;
    const int lineHeight = metrics.height();
    const auto across = [&](int units) { return (units * averageWidth + 2) / 4; };
    const auto down = [&](int units) { return (units * lineHeight + 4) / 8; };
    return {across(x), down(y), across(width), down(height)};
}

} // namespace

CVersionDlg::CVersionDlg(QWidget* parent) : QDialog(parent, kFlags) {
    const VersionBoxLayout& layout = VersionBox();
    setWindowTitle(QString::fromUtf8(layout.caption));
    const QFont font(QString::fromUtf8(layout.fontFamily), layout.pointSize);
    setFont(font);
    setFixedSize(ToPixels(0, 0, layout.width, layout.height, font).size());
    // Creation order is the tab order.
    for (const VersionBoxControl& control : layout.controls) {
        AddControl(control, font);
    }
    if (auto* button = findChild<QPushButton*>()) {
        button->setFocus();
    }
}

void CVersionDlg::AddControl(const VersionBoxControl& control, const QFont& font) {
    const QRect area = ToPixels(control.x, control.y, control.width, control.height, font);
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case VersionBoxControlKind::Icon: {
        auto* icon = new QLabel(this);
        icon->setPixmap(MainIcon().pixmap(kIconSize, devicePixelRatio()));
        // The icon is the application's, so screen readers call it by the application's name.
        icon->setAccessibleName(QCoreApplication::applicationName());
        icon->setGeometry(QRect(area.topLeft(), kIconSize));
        break;
    }
    case VersionBoxControlKind::Text: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(area);
        break;
    }
    case VersionBoxControlKind::DefaultButton: {
        auto* button = new QPushButton(text, this);
        button->setDefault(true);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
        button->setGeometry(area);
        break;
    }
    }
}
