#include "resources/ApplicationResources.h"

#include <QLocale>
#include <QPixmap>

#include <array>
#include <cerrno>
#include <cstddef>

#include "wave/WaveFileReader.h"

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

// Why a file is not shown, one line per outcome of a load, in the order of LoadStatus. In
// each, {offset} is the byte where the check failed (counted from 0, as the renderer counts
// it), {reason} the system's reason, {code} the format's code and {name} the file's name. A
// file that loads, and a load the user stopped, say nothing.
constexpr std::array<const char*, 11> kRejectionTexts{
    nullptr, // loaded
    "ﾌｧｲﾙを開けません({reason}): {name}",
    "通常のﾌｧｲﾙではありません: {name}",
    "RIFF/WAVEﾌｧｲﾙではありません({offset} ﾊﾞｲﾄ目): {name}",
    "ﾌﾞﾛｯｸのｻｲｽﾞが0です({offset} ﾊﾞｲﾄ目): {name}",
    "dataﾁｬﾝｸがありません({offset} ﾊﾞｲﾄ目まで): {name}",
    "対応していない形式です(形式 0x{code}, {offset} ﾊﾞｲﾄ目): {name}",
    "ﾒﾓﾘが足りません: {name}",
    "読み込みｴﾗｰ({offset} ﾊﾞｲﾄ目, {reason}): {name}",
    nullptr, // cancelled
    "読み込みﾌﾟﾛｾｽが異常終了しました: {name}",
};
static_assert(kRejectionTexts.size() == static_cast<std::size_t>(LoadStatus::ReaderFailed) + 1,
              "one text per load status");

// The system's reasons for the errors a user meets opening or reading a file; any other
// error is named by its number, never by the C library's text, which is not Japanese.
struct SystemReason {
    int errorNumber;
    const char* text;
};
constexpr std::array kSystemReasons{
    SystemReason{ENOENT, "ﾌｧｲﾙがありません"},
    SystemReason{EACCES, "読み取りの権限がありません"},
    SystemReason{EPERM, "読み取りの権限がありません"},
    SystemReason{EISDIR, "ﾌｫﾙﾀﾞです"},
    SystemReason{ELOOP, "ﾘﾝｸが多すぎます"},
    SystemReason{ENAMETOOLONG, "名前が長すぎます"},
    SystemReason{EIO, "入出力ｴﾗｰ"},
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

namespace {

QString SystemReasonText(int errorNumber) {
    for (const SystemReason& reason : kSystemReasons) {
        if (reason.errorNumber == errorNumber) {
            return QString::fromUtf8(reason.text);
        }
    }
    return QStringLiteral("ｴﾗｰ番号 %1").arg(errorNumber);
}

// Offsets with thousands separators ("1,244"), whatever the user's locale.
QString GroupedDecimal(std::uint64_t value) {
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c.toString(static_cast<qulonglong>(value));
}

} // namespace

QString RejectionText(const LoadOutcome& outcome, const QString& name) {
    const auto index = static_cast<std::size_t>(outcome.status);
    if (index >= kRejectionTexts.size() || kRejectionTexts.at(index) == nullptr) {
        return {};
    }
    // The name goes in last, so that nothing in it is taken for a field.
    return QString::fromUtf8(kRejectionTexts.at(index))
        .replace(QStringLiteral("{offset}"), GroupedDecimal(outcome.offset))
        .replace(QStringLiteral("{reason}"), SystemReasonText(outcome.errorNumber))
        .replace(QStringLiteral("{code}"),
                 QStringLiteral("%1").arg(outcome.formatCode, 4, 16, QChar(u'0')).toUpper())
        .replace(QStringLiteral("{name}"), name);
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
