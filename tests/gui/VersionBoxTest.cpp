#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "shell/VersionDlg.h"
#include "tests/gui/ViewerSession.h"
#include "tests/support/CaseName.h"

// The version box: its texts, layout in dialog units, and the four ways to close it.
namespace {

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

// Runs the version box over the session's window as the Help menu does, and hands it to
// interact, which must close it.
bool WithVersionBox(ViewerSession& session, const std::function<void(QDialog&)>& interact) {
    CVersionDlg box(&session.Frame());
    return WithModal([&] { box.exec(); },
                     [&](QWidget& modal) {
                         ASSERT_EQ(&modal, &box);
                         interact(box);
                     });
}

// The box as the Help menu's item of the started program shows it.
TEST(VersionBox, ShowsItsCaptionTextsAndControlsInOrder) {
    ProgramSession program;
    ASSERT_TRUE(program.InitInstance());
    QAction* item = ActionOf(*program.MainFrame(), ID_APP_ABOUT);
    ASSERT_NE(item, nullptr);
    bool checked = false;
    const bool opened = WithModal(
        [&] { item->trigger(); },
        [&](QWidget& modal) {
            auto* versionBox = qobject_cast<CVersionDlg*>(&modal);
            ASSERT_NE(versionBox, nullptr);
            QDialog& box = *versionBox;
            EXPECT_EQ(box.windowTitle().toStdString(), "ﾊﾞｰｼﾞｮﾝ情報");
            EXPECT_EQ(box.font().family().toStdString(), "IPAPGothic");
            EXPECT_EQ(box.size(), Pixels(0, 0, 235, 55).size());
            EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
            EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

            // Creation order is the tab order: icon, version, copyright, OK.
            const QList<QWidget*> controls = box.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            ASSERT_EQ(controls.size(), 4);
            auto* icon = qobject_cast<QLabel*>(controls[0]);
            auto* version = qobject_cast<QLabel*>(controls[1]);
            auto* copyright = qobject_cast<QLabel*>(controls[2]);
            auto* ok = qobject_cast<QPushButton*>(controls[3]);
            ASSERT_TRUE(icon && version && copyright && ok);
            EXPECT_FALSE(icon->pixmap().isNull());
            // What a screen reader is told of the icon.
            QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(icon);
            ASSERT_NE(picture, nullptr);
            EXPECT_EQ(picture->text(QAccessible::Name).toStdString(), "VOQ006");
            EXPECT_EQ(icon->geometry(), QRect(Pixels(11, 17, 20, 20).topLeft(), QSize(32, 32)));
            EXPECT_EQ(version->text().toStdString(), "Version 0.16");
            EXPECT_EQ(version->geometry(), Pixels(40, 10, 119, 8));
            EXPECT_FALSE(copyright->text().isEmpty());
            EXPECT_EQ(copyright->geometry(), Pixels(40, 25, 119, 8));
            EXPECT_EQ(ok->text().toStdString(), "OK");
            EXPECT_EQ(ok->geometry(), Pixels(178, 7, 50, 14));
            EXPECT_TRUE(ok->isDefault());
            EXPECT_EQ(box.focusWidget(), ok);
            checked = true;
            box.reject();
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
    const QString caption = session.Frame().windowTitle();
    const std::string statusText = session.MessageText();
    const QImage view = session.GrabView();
    bool closedIt = false;
    const bool opened = WithVersionBox(session, [&](QDialog& box) {
        GetParam().close(box);
        closedIt = !box.isVisible();
    });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(closedIt) << "the box stayed open";
    EXPECT_EQ(ActiveModal(), nullptr);
    EXPECT_EQ(session.Frame().windowTitle(), caption);
    EXPECT_EQ(session.MessageText(), statusText);
    EXPECT_EQ(session.GrabView(), view);
    EXPECT_TRUE(session.Frame().isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, VersionBoxClose,
    testing::Values(CloseCase{"OkButton",
                              [](QDialog& box) {
                                  QTest::mouseClick(box.findChild<QPushButton*>(), Qt::LeftButton);
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
    WithVersionBox(session, [&](QDialog& box) {
        QTest::keyClick(&session.Frame(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(&box, Qt::Key_O, Qt::ControlModifier);
        stillTheBox = ActiveModal() == &box;
        box.close();
    });
    EXPECT_TRUE(stillTheBox) << "Ctrl+O opened something over the version box";
}

} // namespace
