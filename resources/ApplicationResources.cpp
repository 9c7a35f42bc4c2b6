#include "resources/ApplicationResources.h"

#include <array>

#include "resources/Resource.h"
#include "shell/framework/ResourceTables.h"

namespace {

// The string table. A command's string is its status-bar prompt, a line break and a
// short name; only the prompt is shown.
constexpr std::array kStrings{
    StringResource{IDR_MAINFRAME, "ソラニカ"}, StringResource{AFX_IDS_APP_TITLE, "VOQ006"},
    StringResource{AFX_IDS_IDLEMESSAGE, "ソラニカ"},
    // A printf format: the per cent of the file's sample data read so far.
    StringResource{IDS_LOADING, "ﾌｧｲﾙを読み込み中... %d%% (Escで中止)"},
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

// The menu bar of the main frame. A null text is a separator.
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
constexpr std::array kMainMenuPopups{
    PopupMenuResource{"ﾌｧｲﾙ(&F)", kFileMenu},
    PopupMenuResource{"表示(&V)", kViewMenu},
    PopupMenuResource{"ﾍﾙﾌﾟ(&H)", kHelpMenu},
};
constexpr std::array kMenus{MenuResource{IDR_MAINFRAME, kMainMenuPopups}};

// Ctrl+O opens a file; no menu title is highlighted when it is used.
constexpr std::array kMainAccelerators{
    AcceleratorResource{FVIRTKEY | FCONTROL | FNOINVERT, 'O', ID_FILE_OPEN},
};
constexpr std::array kAccelerators{AcceleratorTableResource{IDR_MAINFRAME, kMainAccelerators}};

// The version box, in dialog units. "IPAPGothic" stands in for "ＭＳ Ｐゴシック", whose
// metrics it shares.
constexpr std::array kVersionControls{
    DialogControlResource{DialogControlKind::Static, "128", 11, 17, 20, 20, -1,
                          WS_CHILD | WS_VISIBLE | SS_ICON},
    DialogControlResource{DialogControlKind::Static, "Version " VOQ_DISPLAY_VERSION, 40, 10, 119, 8,
                          -1, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX},
    DialogControlResource{DialogControlKind::Static, "Copyright (C) 2026 VOQ016", 40, 25, 119, 8,
                          -1, WS_CHILD | WS_VISIBLE | WS_GROUP},
    DialogControlResource{DialogControlKind::Button, "OK", 178, 7, 50, 14, IDOK,
                          WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
};
constexpr std::array kDialogs{
    DialogResource{IDD_VERSION, "ﾊﾞｰｼﾞｮﾝ情報", "IPAPGothic", 9, 0, 0, 235, 55,
                   WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                   kVersionControls},
};

// Icons: one picture in 32 x 32 and 16 x 16, 16 colours, compiled in from resources/icons.
constexpr std::array<const char*, 2> kMainIconImages{":/icons/voq006-32.xpm",
                                                     ":/icons/voq006-16.xpm"};
constexpr std::array kIcons{
    IconResource{IDR_MAINFRAME, kMainIconImages},
    IconResource{IDI_ALTERNATE, kMainIconImages},
};

constexpr VersionResource kVersion{VOQ_DISPLAY_VERSION};

constexpr ResourceTables kTables{kStrings, kMenus, kAccelerators, kDialogs, kIcons, &kVersion};

} // namespace

const ResourceTables& ApplicationResources() {
    return kTables;
}
