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
#include <QSettings>
#include <QStyle>
#include <QTreeView>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

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

// What a folder probe learnt, shared by the probe's thread and the thread that waits.
struct FolderProbe {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<bool> isFolder;
};

// Whether a probe's thread is still waiting for its answer.
std::atomic<bool> g_probeWaiting{false};

// Whether folder is a folder, if the disk says so within limit. The question is asked on a
// thread of its own, so that a disk that stopped answering holds that thread and not the
// caller; while an earlier probe still waits for its disk, the answer is no at once, so that
// a dead disk holds one thread at most.
bool AnswersAsFolder(const std::string& folder, std::chrono::milliseconds limit) {
    if (g_probeWaiting.exchange(true)) {
        return false;
    }
    auto probe = std::make_shared<FolderProbe>();
    try {
        std::thread([probe, folder] {
            struct stat status {};
            const bool isFolder = stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
            {
                const std::lock_guard<std::mutex> lock(probe->mutex);
                probe->isFolder = isFolder;
            }
            probe->answered.notify_all();
            g_probeWaiting.store(false);
        }).detach();
    } catch (const std::system_error&) {
        g_probeWaiting.store(false);
        return false;
    }
    std::unique_lock<std::mutex> lock(probe->mutex);
    return probe->answered.wait_for(lock, limit, [&] { return probe->isFolder.has_value(); }) &&
           *probe->isFolder;
}

// The folder of the last file chosen, or before the first the working folder, where it
// answers as a folder in time; else the home folder. Qt's dialog, while it is made, first
// shows the folder it remembers (the last one a dialog of this process showed, else the one
// in its settings) and only then the one it is given: the settings are made to name the
// start folder, and each dialog leaves the home folder as its last (the destructor), so that
// Qt never looks at a folder that may not answer.
QString StartFolder() {
    const QString wanted = g_lastFolder.isEmpty() ? QDir::currentPath() : g_lastFolder;
    const bool answers =
        AnswersAsFolder(QFile::encodeName(wanted).toStdString(),
                        std::chrono::milliseconds(OpenFileDialog::kStartFolderWaitMs));
    const QString start = answers ? wanted : QDir::homePath();
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.setValue(QStringLiteral("FileDialog/lastVisited"),
                      QUrl::fromLocalFile(start).toString());
    return start;
}

} // namespace

OpenFileDialog::OpenFileDialog(QWidget* parent) : QFileDialog(parent, QString(), StartFolder()) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
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

OpenFileDialog::~OpenFileDialog() {
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
