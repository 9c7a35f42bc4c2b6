#include "shell/framework/FileDialog.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>

namespace {

// The folder of the last file chosen in this process; empty before the first.
QString g_lastFolder;

// Qt's reading of "*.*" is "names with a dot"; here it means every file.
QStringList QtPatterns(const std::vector<std::string>& patterns) {
    QStringList result;
    for (const std::string& pattern : patterns) {
        result.append(pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern));
    }
    return result;
}

bool HasWildcard(const QString& text) {
    return text.contains(u'*') || text.contains(u'?');
}

// Qt's file dialog with the behaviour of the classic one where the two differ.
class FileDialogWidget final : public QFileDialog {
public:
    explicit FileDialogWidget(QWidget* parent) : QFileDialog(parent) {
        setOption(QFileDialog::DontUseNativeDialog);
    }

    // The file list shows what patterns match; the dialog's own model is the only
    // place that takes patterns other than Qt's reading of the filter text.
    void ShowPatterns(const QStringList& patterns) {
        if (auto* model = findChild<QFileSystemModel*>()) {
            model->setNameFilters(patterns);
        }
    }

    void accept() override {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit != nullptr ? edit->text().trimmed() : QString();
        if (HasWildcard(typed) && !typed.contains(u'/')) {
            // A typed pattern filters the list, as "*.wav" in the name box always has.
            std::vector<std::string> patterns;
            for (const QString& part : typed.split(u';', Qt::SkipEmptyParts)) {
                patterns.push_back(part.trimmed().toStdString());
            }
            ShowPatterns(QtPatterns(patterns));
            return;
        }
        QFileDialog::accept();
    }

protected:
    // Before the window first appears: wide enough for every column of the file list
    // (name, size, type and date) at the dialog's font. Qt's own width cuts the date short.
    void showEvent(QShowEvent* event) override {
        QFileDialog::showEvent(event);
        if (!m_widened) {
            m_widened = true;
            WidenForEveryColumn();
        }
    }

private:
    void WidenForEveryColumn() {
        auto* list = findChild<QTreeView*>(QStringLiteral("treeView"));
        if (list == nullptr || list->header()->count() == 0) {
            return;
        }
        QHeaderView* header = list->header();
        // The list writes dates in the locale's short format: room for a wide one, the
        // header's sort arrow and the cell's margins.
        const int last = header->count() - 1;
        const QString date = QLocale::system().toString(
            QDateTime(QDate(2000, 12, 28), QTime(20, 58, 58)), QLocale::ShortFormat);
        const int margins = 4 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                            style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
        header->resizeSection(last,
                              std::max(header->sectionSize(last),
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

    bool m_widened{false};
};

} // namespace

CFileDialog::CFileDialog(BOOL, const char* lpszDefExt, const char* lpszFileName, DWORD dwFlags,
                         const char* lpszFilter, CWnd* pParentWnd)
    : CDialog(0, pParentWnd), m_strDefExt(lpszDefExt != nullptr ? lpszDefExt : ""),
      m_strFileName(lpszFileName != nullptr ? lpszFileName : ""),
      m_filters(ParseFilter(lpszFilter)) {
    m_ofn.Flags = dwFlags;
}

std::vector<CFileDialog::Filter> CFileDialog::ParseFilter(const char* filter) {
    std::vector<Filter> filters;
    if (filter == nullptr) {
        return filters;
    }
    // Alternating descriptions and pattern lists, each ended by "|"; an empty
    // description (the final "||") ends the list.
    const std::string text(filter);
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t descriptionEnd = text.find('|', position);
        if (descriptionEnd == std::string::npos || descriptionEnd == position) {
            break;
        }
        std::size_t patternsEnd = text.find('|', descriptionEnd + 1);
        if (patternsEnd == std::string::npos) {
            patternsEnd = text.size();
        }
        Filter entry{text.substr(position, descriptionEnd - position), {}};
        const std::string patterns =
            text.substr(descriptionEnd + 1, patternsEnd - descriptionEnd - 1);
        std::size_t start = 0;
        while (start <= patterns.size()) {
            const std::size_t end = std::min(patterns.find(';', start), patterns.size());
            if (end > start) {
                entry.patterns.push_back(patterns.substr(start, end - start));
            }
            start = end + 1;
        }
        filters.push_back(std::move(entry));
        position = patternsEnd + 1;
    }
    return filters;
}

std::string CFileDialog::ApplyDefaultExtension(const std::string& path,
                                               const std::string& extension) {
    if (extension.empty()) {
        return path;
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code error;
    if (name.empty() || name.find('.') != std::string::npos ||
        std::filesystem::exists(path, error)) {
        return path;
    }
    return path + "." + extension;
}

int CFileDialog::DoModal() {
    FileDialogWidget dialog(ParentWidget());
    dialog.setObjectName(QStringLiteral("fileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((m_ofn.Flags & OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile
                                                              : QFileDialog::AnyFile);
    // The read-only check box that OFN_HIDEREADONLY hides does not exist here, and
    // OFN_OVERWRITEPROMPT concerns saving only.
    if (!g_lastFolder.isEmpty()) {
        dialog.setDirectory(g_lastFolder);
    } else {
        dialog.setDirectory(QDir::currentPath());
    }

    QStringList descriptions;
    for (const Filter& filter : m_filters) {
        descriptions.append(QString::fromStdString(filter.description));
    }
    if (!descriptions.isEmpty()) {
        dialog.setNameFilters(descriptions);
        dialog.selectNameFilter(descriptions.front());
        dialog.ShowPatterns(QtPatterns(m_filters.front().patterns));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [this, &dialog, descriptions](const QString& description) {
                             const auto index = descriptions.indexOf(description);
                             if (index >= 0) {
                                 dialog.ShowPatterns(QtPatterns(
                                     m_filters[static_cast<std::size_t>(index)].patterns));
                             }
                         });
    }
    if (!m_strFileName.empty()) {
        dialog.selectFile(QString::fromStdString(m_strFileName));
    }

    Attach(&dialog);
    const int result = dialog.exec();
    m_hWnd = nullptr; // the dialog is a local and goes with this scope
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return IDCANCEL;
    }
    const QString chosen = dialog.selectedFiles().front();
    m_strPathName = ApplyDefaultExtension(QFile::encodeName(chosen).toStdString(), m_strDefExt);
    g_lastFolder = QFileInfo(chosen).absolutePath();
    return IDOK;
}
