#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <string>

#include "wave/WaveFileReader.h"

class QLabel;

// The status bar's first pane, and the one place that decides what it says. While a menu
// is open and highlights an item, it shows the item's prompt. Otherwise it shows the
// progress of a long load; else why the last file chosen is not shown; else the idle text.
//
// Why a file is not shown is one line with the file's path, shortened in the middle when it
// does not fit the pane. Screen readers read the pane's text as its accessible name, with
// the whole path.
class MessagePane final : public QObject {
public:
    // The label that shows the text; the pane shows the idle text from here on.
    void Attach(QLabel& label);

    void MenuOpened();
    void MenuClosed();
    // The prompt of the item a menu highlights; empty when it highlights none.
    void ShowPrompt(const QString& prompt);
    // The load's progress; empty when no progress is shown.
    void ShowProgress(const QString& progress);
    // Why the file at path was not shown, until ForgetRejection. Outcomes that say nothing
    // (a file that loaded, a load the user stopped) change nothing.
    void ShowRejection(const LoadOutcome& outcome, const std::string& path);
    void ForgetRejection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Rejection {
        LoadOutcome outcome;
        QString path;
    };

    void Update();
    QString ShownRejection(const Rejection& rejection) const;

    QLabel* m_label{};
    int m_openMenus{};
    QString m_prompt;
    QString m_progress;
    std::optional<Rejection> m_rejection;
};
