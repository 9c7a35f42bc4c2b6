#include "shell/OpenFileDialog.h"

#include <QAbstractFileIconProvider>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>

#include "platform/FolderProbe.h"

namespace {

struct NameFilter {
    const char* description;
    const char* patterns; // separated by ";"
};

// The dialog's settings. The read-only check box of the classic dialog does not exist here,
// and its overwrite prompt concerns saving only.
constexpr const char* kInitialFileName = "*.wav";
constexpr std::array kNameFilters{
    NameFilter{"波形ファイル(*.wav)", "*.wav"},
    NameFilter{"すべてのファイル(*.*)", "*.*"},
};

// A name as recorders and people give wave files, of about 40 characters: the name column
// shows one whole.
constexpr const char* kTypicalName = "Field recording 2024-06-01 morning 01.wav";

// The folder of the last file chosen in this process; empty before the first.
QString g_lastFolder;

// Patterns separated by ";", as Qt's file list reads them: Qt's reading of "*.*" is "names
// with a dot"; here it means every file.
QStringList QtPatterns(const QString& patterns) {
    QStringList result;
    for (const QString& part : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        result.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    return result;
}

bool HasWildcard(const QString& text) {
    return text.contains(u'*') || text.contains(u'?');
}

// The folder of the last file chosen, or before the first the working folder, where it
// answers as a folder in time; else the home folder. Qt's dialog, while it is made, first
// shows the folder it remembers (the last one a dialog of this process showed, else the one
// its settings file names, where that file holds the dialog's settings at all) and only then
// the one it is given: the settings file is made to name the start folder, and each dialog
// leaves the home folder as its last (the destructor), so that Qt never looks at a folder
// that may not answer.
QString StartFolder() {
    const QString wanted = g_lastFolder.isEmpty() ? QDir::currentPath() : g_lastFolder;
    const bool answers =
        AnswersAsFolder(QFile::encodeName(wanted).toStdString(),
                        std::chrono::milliseconds(OpenFileDialog::kStartFolderWaitMs));
    QString start = answers ? wanted : QDir::homePath();
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    if (settings.childGroups().contains(QStringLiteral("FileDialog"))) {
        settings.setValue(QStringLiteral("FileDialog/lastVisited"),
                          QUrl::fromLocalFile(start).toString());
    }
    return start;
}

} // namespace

// The start folder is decided, and Qt's settings made to name it, before Qt's dialog is made.
OpenFileDialog::OpenFileDialog(QWidget* parent) : OpenFileDialog(parent, StartFolder()) {}

OpenFileDialog::OpenFileDialog(QWidget* parent, const QString& startFolder) : QFileDialog(parent) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
    setDirectory(startFolder);
    QStringList descriptions;
    for (const NameFilter& filter : kNameFilters) {
        descriptions.append(QString::fromUtf8(filter.description));
    }
    setNameFilters(descriptions);
    selectNameFilter(descriptions.front());
    ShowPatterns(QtPatterns(QString::fromUtf8(kNameFilters.front().patterns)));
    connect(this, &QFileDialog::filterSelected, this, [this, descriptions](const QString& chosen) {
        const auto index = descriptions.indexOf(chosen);
        if (index >= 0) {
            ShowPatterns(QtPatterns(
                QString::fromUtf8(kNameFilters.at(static_cast<std::size_t>(index)).patterns)));
        }
    });
    selectFile(QString::fromUtf8(kInitialFileName));
}

// Qt saves the list's header in its settings file as the dialog goes, for the next file
// dialog of any Qt program of the user: that one gets Qt's own way of sharing the width
// (the last column takes what is left), with the widths this dialog had. Qt also remembers
// the folder the dialog showed last, and looks at it while the next dialog is made: that is
// the home folder, where StartFolder falls back, so that a folder whose disk stops answering
// later is never looked at there.
OpenFileDialog::~OpenFileDialog() {
    if (QHeaderView* header = ListHeader()) {
        header->setSectionResizeMode(0, QHeaderView::Interactive);
        header->setStretchLastSection(true);
    }
    setDirectory(QDir::homePath());
}

std::string OpenFileDialog::Choose() {
    if (exec() != QDialog::Accepted || selectedFiles().isEmpty()) {
        return {};
    }
    const QString chosen = selectedFiles().front();
    g_lastFolder = QFileInfo(chosen).absolutePath();
    return QFile::encodeName(chosen).toStdString();
}

void OpenFileDialog::accept() {
    auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString typed = edit != nullptr ? edit->text().trimmed() : QString();
    if (HasWildcard(typed) && !typed.contains(u'/')) {
        // A typed pattern filters the list, as "*.wav" in the name box always has.
        ShowPatterns(QtPatterns(typed));
        return;
    }
    QFileDialog::accept();
}

// The dialog's own model is the only place that takes patterns other than Qt's reading of
// the filter text.
void OpenFileDialog::ShowPatterns(const QStringList& patterns) {
    if (auto* model = findChild<QFileSystemModel*>()) {
        model->setNameFilters(patterns);
    }
}

// Every time the dialog shows: Qt has restored the columns' widths of an earlier dialog from
// its settings file by now, and fills in sizes and types only later.
void OpenFileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    FitColumns();
}

QHeaderView* OpenFileDialog::ListHeader() const {
    auto* list = findChild<QTreeView*>(QStringLiteral("treeView"));
    return list != nullptr && list->header()->count() == kColumns ? list->header() : nullptr;
}

// The size, type and date columns as wide as the widest texts a folder of wave files gives
// them, at the list's font; the name column takes the rest, and the dialog widens, as far
// as the screen allows, until that is enough for a name of about 40 characters.
void OpenFileDialog::FitColumns() {
    QHeaderView* header = ListHeader();
    if (header == nullptr) {
        return;
    }
    const auto& list = *static_cast<QTreeView*>(header->parentWidget());
    const std::array<QStringList, kColumns> texts = WidestTexts();
    int needed = 0;
    for (int column = 0; column < kColumns; ++column) {
        int width = header->sectionSizeHint(column);
        for (const QString& text : texts.at(static_cast<std::size_t>(column))) {
            width = std::max(width, CellWidth(list, text, column == 0));
        }
        needed += header->isSectionHidden(column) ? 0 : width;
        if (column > 0) {
            header->setSectionResizeMode(column, QHeaderView::Interactive);
            header->resizeSection(column, width);
        }
    }
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    // A long folder brings a scroll bar, which takes its width from the name column.
    if (!list.verticalScrollBar()->isVisible()) {
        needed += list.verticalScrollBar()->sizeHint().width();
    }
    Widen(needed - list.viewport()->width());
}

// The widest texts of each column for a folder of wave files, as the dialog's model writes
// them in the user's locale: a name of about 40 characters; sizes up to gigabytes, the widest
// of each unit ("1,024.00 MiB", just under the next unit, before rounding); the type of a wave
// file and of a folder; a date and time with the longest month name.
std::array<QStringList, OpenFileDialog::kColumns> OpenFileDialog::WidestTexts() const {
    const QLocale locale = QLocale::system();
    QStringList sizes;
    for (int unit = 1; unit <= 4; ++unit) {
        sizes.append(locale.formattedDataSize((qint64{1} << (10 * unit)) - 1));
    }
    QStringList types{QMimeDatabase()
                          .mimeTypeForFile(QStringLiteral("a.wav"), QMimeDatabase::MatchExtension)
                          .comment()};
    if (const auto* model = findChild<QFileSystemModel*>();
        model != nullptr && model->iconProvider() != nullptr) {
        types.append(model->iconProvider()->type(QFileInfo(QDir::homePath())));
    }
    QStringList dates;
    for (int month = 1; month <= 12; ++month) {
        dates.append(locale.toString(QDateTime(QDate(2000, month, 28), QTime(20, 58, 58)),
                                     QLocale::ShortFormat));
    }
    return {QStringList{QString::fromUtf8(kTypicalName)}, sizes, types, dates};
}

// The width a cell of list needs to show text whole (and an icon, in the name column), as
// the list's style measures its cells.
int OpenFileDialog::CellWidth(const QTreeView& list, const QString& text, bool withIcon) {
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.font = list.font();
    option.fontMetrics = list.fontMetrics();
    option.text = text;
    option.features = QStyleOptionViewItem::HasDisplay;
    if (withIcon) {
        const int icon = list.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &list);
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = list.iconSize().isValid() ? list.iconSize() : QSize(icon, icon);
    }
    return list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &list).width();
}

// Widens the dialog by missing pixels, no wider than the screen, keeping it where it was
// centred.
void OpenFileDialog::Widen(int missing) {
    if (missing <= 0) {
        return;
    }
    QRect area = geometry();
    const int centre = area.center().x();
    area.setWidth(area.width() + missing);
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        area.setWidth(std::min(area.width(), available.width()));
        area.moveLeft(std::clamp(centre - area.width() / 2, available.left(),
                                 available.right() + 1 - area.width()));
    }
    setGeometry(area);
}
