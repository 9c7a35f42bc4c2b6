#include "resources/ApplicationResources.h"

#include <QPixmap>

#include <array>

namespace {

struct StringResource {
    ResourceId id;
    const char* text; // UTF-8
};

// The string table. A command's string is its status-bar prompt, a line break and a short
// name; only the prompt is shown.
constexpr std::array kStrings{
    StringResource{IDR_MAINFRAME, "ソラニカ"}, StringResource{AFX_IDS_APP_TITLE, "VOQ006"},
    StringResource{AFX_IDS_IDLEMESSAGE, "ソラニカ"},
    StringResource{ID_FILE_OPEN, "既存のﾌｧｲﾙを開く\n開く"},
    StringResource{ID_APP_ABOUT, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報"},
    StringResource{ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了"},
    StringResource{ID_VIEW_STATUS_BAR, "ｽﾃｰﾀｽ ﾊﾞｰの 表示/非表示\nｽﾃｰﾀｽ ﾊﾞｰの表示切り替え"},
    StringResource{ID_INDICATOR_CAPS, "CAP"}, StringResource{ID_INDICATOR_NUM, "NUM"},
    StringResource{ID_INDICATOR_SCRL, "SCRL"}, StringResource{ID_INDICATOR_KANA, "ｶﾅ"},
    // Prompts of the window menu's items: string 0xEF00 + (command - 0xF000) / 16. On
    // X11 the window manager draws the window menu, so nothing shows them; they are kept
    // so the table stays complete.
    StringResource{0xEF00, "ｳｨﾝﾄﾞｳのｻｲｽﾞを変更"},                             // SC_SIZE
    StringResource{0xEF01, "ｳｨﾝﾄﾞｳの位置を変更"},                             // SC_MOVE
    StringResource{0xEF02, "ｳｨﾝﾄﾞｳを最小化する"},                             // SC_MINIMIZE
    StringResource{0xEF03, "ｳｨﾝﾄﾞｳを最大化する"},                             // SC_MAXIMIZE
    StringResource{0xEF04, "次のｳｨﾝﾄﾞｳに切り替える"},                         // SC_NEXTWINDOW
    StringResource{0xEF05, "前のｳｨﾝﾄﾞｳに切り替える"},                         // SC_PREVWINDOW
    StringResource{0xEF06, "作業中のｳｨﾝﾄﾞｳを閉じ、変更したﾌｧｲﾙの保存を指示"}, // SC_CLOSE
    StringResource{0xEF12, "ｳｨﾝﾄﾞｳを通常のｻｲｽﾞに戻す"},                       // SC_RESTORE
    StringResource{0xEF13, "ｱﾌﾟﾘｹｰｼｮﾝの切り替え"},                            // SC_TASKLIST
};

// The menu bar of the main window. A null text is a separator.
constexpr std::array kFileMenu{
    MenuItemResource{"開く(&O)\tCtrl+O", ID_FILE_OPEN},
    MenuItemResource{nullptr, 0},
    MenuItemResource{"ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", ID_APP_EXIT},
};
constexpr std::array kViewMenu{
    MenuItemResource{"ｽﾃｰﾀｽ ﾊﾞｰ(&S)", ID_VIEW_STATUS_BAR},
};
constexpr std::array kHelpMenu{
    MenuItemResource{"ﾊﾞｰｼﾞｮﾝ情報(&A)", ID_APP_ABOUT},
};
constexpr std::array kMainMenu{
    PopupMenuResource{"ﾌｧｲﾙ(&F)", kFileMenu},
    PopupMenuResource{"表示(&V)", kViewMenu},
    PopupMenuResource{"ﾍﾙﾌﾟ(&H)", kHelpMenu},
};

// Ctrl+O opens a file.
constexpr std::array kMainAccelerators{
    AcceleratorResource{QKeyCombination(Qt::ControlModifier, Qt::Key_O), ID_FILE_OPEN},
};

// The version box. "IPAPGothic" stands in for "ＭＳ Ｐゴシック", whose metrics it shares.
constexpr std::array kVersionControls{
    VersionBoxControl{VersionBoxControlKind::Icon, "", 11, 17, 20, 20},
    VersionBoxControl{VersionBoxControlKind::Text, "Version " VOQ_DISPLAY_VERSION, 40, 10, 119, 8},
    VersionBoxControl{VersionBoxControlKind::Text, "Copyright (C) 2026 VOQ016", 40, 25, 119, 8},
    VersionBoxControl{VersionBoxControlKind::DefaultButton, "OK", 178, 7, 50, 14},
};
constexpr VersionBoxLayout kVersionBox{"ﾊﾞｰｼﾞｮﾝ情報", "IPAPGothic", 9, 235, 55, kVersionControls};

// One picture in 32 x 32 and 16 x 16, 16 colours, compiled in from resources/icons.
constexpr std::array kMainIconImages{":/icons/voq006-32.xpm", ":/icons/voq006-16.xpm"};

} // namespace

QString ResourceString(ResourceId id) {
    for (const StringResource& entry : kStrings) {
        if (entry.id == id) {
            return QString::fromUtf8(entry.text);
        }
    }
    return {};
}

QString Prompt(ResourceId command) {
    return ResourceString(command).section(u'\n', 0, 0);
}

QString LoadingText(int percent) {
    return QStringLiteral("ﾌｧｲﾙを読み込み中... %1% (Escで中止)").arg(percent);
}

std::span<const PopupMenuResource> MainMenu() {
    return kMainMenu;
}

std::span<const AcceleratorResource> MainAccelerators() {
    return kMainAccelerators;
}

const VersionBoxLayout& VersionBox() {
    return kVersionBox;
}

QIcon MainIcon() {
    QIcon icon;
    for (const char* path : kMainIconImages) {
        icon.addPixmap(QPixmap(QString::fromUtf8(path)));
    }
    return icon;
}

const char* DisplayVersion() {
    return VOQ_DISPLAY_VERSION;
}
