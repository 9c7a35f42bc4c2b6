#pragma once

#include <QString>

class QLabel;

// The status bar's first pane, and the one place that decides what it says. While a menu
// is open it shows the prompt of the highlighted item, or the idle text while no item is
// highlighted; otherwise the progress of a long load, or the idle text.
class MessagePane {
public:
    // The label that shows the text; the pane shows the idle text from here on.
    void Attach(QLabel& label);

    void MenuOpened();
    void MenuClosed();
    // The prompt of the item a menu highlights; empty when it highlights none.
    void ShowPrompt(const QString& prompt);
    // The load's progress; empty when no progress is shown.
    void ShowProgress(const QString& progress);

private:
    void Update();

    QLabel* m_label{};
    int m_openMenus{};
    QString m_prompt;
    QString m_progress;
};
