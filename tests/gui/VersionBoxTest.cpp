#include <QAccessible>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "shell/framework/Dialog.h"
#include "tests/gui/ViewerSession.h"
#include "tests/support/CaseName.h"
#include "tests/support/ViewerText.h"

// The version box: its texts, layout in dialog units, and the four ways to close it.
namespace {

QDialog* AsVersionBox(QWidget& modal) {
    auto* dialog = qobject_cast<QDialog*>(&modal);
    return dialog != nullptr && dialog->objectName() == QStringLiteral("dialog100") ? dialog
                                                                                    : nullptr;
}

// A control's rectangle in pixels from dialog units, as the system converts them for
// the box's font: 4 horizontal units per average character width of A-Z a-z, 8 vertical
// units per character height, rounded to the nearest pixel.
QRect Pixels(int x, int y, int cx, int cy) {
    const QFontMetrics metrics(QFont(QStringLiteral("IPAPGothic"), 9));
    const int averageWidth = (metrics.horizontalAdvance(QStringLiteral(
                                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                                  26 +
                              1) /
                             2;
    const int height = metrics.height();
    auto h = [&](int units) { return (units * averageWidth + 2) / 4; };
    auto v = [&](int units) { return (units * height + 4) / 8; };
    return {h(x), v(y), h(cx), v(cy)};
}

TEST(VersionBox, ShowsItsCaptionTextsAndControlsInOrder) {
    ViewerSession session;
    bool checked = false;
    const bool opened =
        WithModal([&] { session.Frame().OnCommand(ID_APP_ABOUT); },
                  [&](QWidget& modal) {
                      QDialog* box = AsVersionBox(modal);
                      ASSERT_NE(box, nullptr);
                      EXPECT_EQ(box->windowTitle().toStdString(), "ﾊﾞｰｼﾞｮﾝ情報");
                      EXPECT_EQ(box->font().family().toStdString(), "IPAPGothic");
                      EXPECT_EQ(box->size(), Pixels(0, 0, 235, 55).size());
                      EXPECT_FALSE(box->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

                      auto* icon = box->findChild<QLabel*>(QStringLiteral("control1"));
                      auto* version = box->findChild<QLabel*>(QStringLiteral("control2"));
                      auto* copyright = box->findChild<QLabel*>(QStringLiteral("control3"));
                      auto* ok = box->findChild<QPushButton*>(QStringLiteral("control4"));
                      ASSERT_TRUE(icon && version && copyright && ok);
                      EXPECT_FALSE(icon->pixmap().isNull());
                      // What a screen reader is told of the icon.
                      QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(icon);
                      ASSERT_NE(picture, nullptr);
                      EXPECT_EQ(picture->text(QAccessible::Name).toStdString(), "VOQ006");
                      EXPECT_EQ(icon->geometry().topLeft(), Pixels(11, 17, 20, 20).topLeft());
                      EXPECT_EQ(version->text().toStdString(), "Version 0.16");
                      EXPECT_EQ(version->geometry(), Pixels(40, 10, 119, 8));
                      EXPECT_FALSE(copyright->text().isEmpty());
                      EXPECT_EQ(copyright->geometry(), Pixels(40, 25, 119, 8));
                      EXPECT_EQ(ok->text().toStdString(), "OK");
                      EXPECT_EQ(ok->geometry(), Pixels(178, 7, 50, 14));
                      EXPECT_TRUE(ok->isDefault());
                      // Creation order is the tab order.
                      const QList<QWidget*> children =
                          box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
                      EXPECT_EQ(children.indexOf(icon), 0);
                      EXPECT_EQ(children.indexOf(ok), 3);
                      checked = true;
                      box->reject();
                  });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(checked);
}

struct CloseCase : NamedCase {
    void (*close)(QDialog& box);
};

class VersionBoxClose : public testing::TestWithParam<CloseCase> {};

TEST_P(VersionBoxClose, EndsTheBoxAndChangesNothingElse) {
    ViewerSession session;
    session.Activate();
    const std::string statusText = session.StatusBar().GetPaneText(0);
    bool closedIt = false;
    const bool opened = WithModal([&] { session.Frame().OnCommand(ID_APP_ABOUT); },
                                  [&](QWidget& modal) {
                                      QDialog* box = AsVersionBox(modal);
                                      ASSERT_NE(box, nullptr);
                                      GetParam().close(*box);
                                      closedIt = !box->isVisible();
                                  });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(closedIt) << "the box stayed open";
    EXPECT_EQ(ActiveModal(), nullptr);
    EXPECT_EQ(session.Frame().GetWindowText(), kCaption);
    EXPECT_EQ(session.StatusBar().GetPaneText(0), statusText);
    EXPECT_EQ(session.App().Record().loaded, 0);
    EXPECT_TRUE(session.Window().isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, VersionBoxClose,
    testing::Values(CloseCase{"OkButton",
                              [](QDialog& box) {
                                  QTest::mouseClick(
                                      box.findChild<QPushButton*>(QStringLiteral("control4")),
                                      Qt::LeftButton);
                              }},
                    CloseCase{"Enter", [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); }},
                    CloseCase{"Escape",
                              [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); }},
                    CloseCase{"CloseBox", [](QDialog& box) { box.close(); }}),
    CaseName);

TEST(VersionBox, KeepsCtrlOFromTheMainWindowWhileOpen) {
    ViewerSession session;
    session.Activate();
    bool stillTheBox = false;
    WithModal([&] { session.Frame().OnCommand(ID_APP_ABOUT); },
              [&](QWidget& modal) {
                  QTest::keyClick(&session.Window(), Qt::Key_O, Qt::ControlModifier);
                  QTest::keyClick(&modal, Qt::Key_O, Qt::ControlModifier);
                  stillTheBox = ActiveModal() == &modal;
                  modal.close();
              });
    EXPECT_TRUE(stillTheBox) << "Ctrl+O opened something over the version box";
}

TEST(DialogUnits, ConvertAsTheSystemDoes) {
    // With an average width of 6 and a height of 12 pixels: one horizontal unit is 1.5
    // pixels and one vertical unit 1.5 pixels, rounded to the nearest pixel.
    const DialogBaseUnits units{6, 12};
    EXPECT_EQ(AfxMapDialogRect(QRect(40, 10, 119, 8), units), QRect(60, 15, 179, 12));
    EXPECT_EQ(AfxMapDialogRect(QRect(0, 0, 235, 55), units), QRect(0, 0, 353, 83));
}

} // namespace
