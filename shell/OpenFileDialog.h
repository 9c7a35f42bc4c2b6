#pragma once

#include <QFileDialog>

#include <array>
#include <string>

class QHeaderView;
class QTreeView;

// The Open dialog: Qt's own file dialog widget, so that it looks the same on every desktop
// and tests can drive it, with the viewer's settings (wave files listed first, all files
// second, "*.wav" in the name box, ".NULL" as the default extension) and the behaviour a
// user of the classic dialog expects where Qt's differs:
// - "All files" ("*.*") lists every file, also one without a dot in its name.
// - The default extension is added only to a typed name that has none and does not name an
//   existing file, so an existing "bar" stays "bar". Whoever reads the file adds it
//   (wave/DefaultExtension.h): whether a name names a file is a question for the disk.
// - The chosen file need not exist.
// - The dialog opens in the folder of the last file chosen in this process, if that folder
//   answers within kStartFolderWaitMs (a disk that stopped answering does not hold the
//   window); else in the home folder.
// - A typed name with "*" or "?" filters the list instead of ending the dialog.
// - Every column of the file list shows its texts whole whenever the dialog shows.
class OpenFileDialog final : public QFileDialog {
    Q_OBJECT

public:
    // The default extension of a chosen name, for the load to add.
    static constexpr const char* kDefaultExtension = "NULL";
    // How long the dialog waits to learn whether its start folder is a folder.
    static constexpr int kStartFolderWaitMs = 300;

    explicit OpenFileDialog(QWidget* parent);
    ~OpenFileDialog() override;
    OpenFileDialog(const OpenFileDialog&) = delete;
    OpenFileDialog& operator=(const OpenFileDialog&) = delete;

    // Shows the dialog until the user confirms a file or cancels: the full path of the
    // chosen file as chosen (without the default extension), or an empty path.
    std::string Choose();

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    OpenFileDialog(QWidget* parent, const QString& startFolder);
    // The file list shows what patterns match.
    void ShowPatterns(const QStringList& patterns);
    // The file list's columns: name, size, type and date.
    static constexpr int kColumns = 4;
    QHeaderView* ListHeader() const;
    void FitColumns();
    std::array<QStringList, kColumns> WidestTexts() const;
    static int CellWidth(const QTreeView& list, const QString& text, bool withIcon);
    void Widen(int missing);
};
