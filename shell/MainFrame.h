#pragma once

#include <QMainWindow>

#include <array>
#include <memory>

#include "shell/CommandBinder.h"
#include "shell/MessagePane.h"

class LockKeyIndicators;
class QLabel;
class QMenu;
struct WaveRecord;

// The main window: a fixed size, a caption with the window menu and a minimise button, the
// menu bar, the view as its client and the status bar along the bottom, whose first pane
// shows prompts and progress and whose other panes light up with the lock keys.
class CMainFrame final : public QMainWindow {
    Q_OBJECT

public:
    static const std::array<Command<CMainFrame>, 2> kCommands;

    // The outer size of the window, in pixels: menu bar, view and status bar together (the
    // window manager draws the caption and the border outside it).
    static constexpr int kWidth = 960;
    static constexpr int kHeight = 520;

    // record is the application's, for the view to show.
    explicit CMainFrame(WaveRecord& record);
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // The window's commands, for the application to bind its own.
    CommandBinder& Commands() { return m_commands; }

protected:
    bool event(QEvent* event) override;

private:
    void CreateMenuBar();
    void AddMenuItem(QMenu& menu, const MenuItemResource& item);
    void CreateStatusBar();
    void UpdateLockKeyPanes();

    // The handlers of ID_APP_EXIT and ID_VIEW_STATUS_BAR.
    void OnAppExit();
    void OnViewStatusBar();

    CommandBinder m_commands{*this};
    MessagePane m_messagePane;
    std::array<QLabel*, 4> m_lockKeyPanes{};
    std::unique_ptr<LockKeyIndicators> m_lockKeys;
};
