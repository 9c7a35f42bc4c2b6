#include "shell/OpenFileDialog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace {

struct NameFilter {
    const char* description;
    const char* patterns; // separated by ";"
};

// The dialog's settings. The read-only check box of the classic dialog does not exist here,
// and its overwrite prompt concerns saving only.
constexpr const char* kDefaultExtension = "NULL";
constexpr const char* kInitialFileName = "*.wav";
constexpr std::array kNameFilters{
    NameFilter{"波形ファイル(*.wav)", "*.wav"},
    NameFilter{"すべてのファイル(*.*)", "*.*"},
};

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

// The chosen path with the default extension added to a name that has none and names no
// existing file.
std::string WithDefaultExtension(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code error;
    if (name.empty() || name.find('.') != std::string::npos ||
        std::filesystem::exists(path, error)) {
        return path;
    }
    return path + "." + kDefaultExtension;
}

} // namespace

OpenFileDialog::OpenFileDialog(QWidget* parent) : QFileDialog(parent) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
    setDirectory(g_lastFolder.isEmpty() ? QDir::currentPath() : g_lastFolder);
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

std::string OpenFileDialog::Choose() {
    if (exec() != QDialog::Accepted || selectedFiles().isEmpty()) {
        return {};
    }
    const QString chosen = selectedFiles().front();
    g_lastFolder = QFileInfo(chosen).absolutePath();
    return WithDefaultExtension(QFile::encodeName(chosen).toStdString());
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

// Before the window first appears: wide enough for every column of the file list (name,
// size, type and date) at the dialog's font. Qt's own width cuts the date short.
void OpenFileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    if (!m_widened) {
        m_widened = true;
        WidenForEveryColumn();
    }
}

void OpenFileDialog::WidenForEveryColumn() {
    auto* list = findChild<QTreeView*>(QStringLiteral("treeView"));
    if (list == nullptr || list->header()->count() == 0) {
        return;
    }
    QHeaderView* header = list->header();
    // The list writes dates in the locale's short format: room for a wide one, the header's
    // sort arrow and the cell's margins.
    const int last = header->count() - 1;
    const QString date = QLocale::system().toString(
        QDateTime(QDate(2000, 12, 28), QTime(20, 58, 58)), QLocale::ShortFormat);
    const int margins = 4 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                        style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
    header->resizeSection(last, std::max(header->sectionSize(last),
                                         list->fontMetrics().horizontalAdvance(date) + margins));
    int needed = 0;
    for (int section = 0; section <= last; ++section) {
        needed += header->isSectionHidden(section) ? 0 : header->sectionSize(section);
    }
    // A long folder brings a scroll bar, which must not cut the date short either.
    needed += list->verticalScrollBar()->sizeHint().width();
    const int missing = needed - list->viewport()->width();
    if (missing <= 0) {
        return;
    }
    int wanted = width() + missing;
    if (const QScreen* screen = this->screen()) {
        wanted = std::min(wanted, screen->availableGeometry().width());
    }
    resize(wanted, height());
}
