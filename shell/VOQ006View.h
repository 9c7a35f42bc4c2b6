#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

#include "shell/CommandBinder.h"

class DrawingSurface;
class QHelpEvent;
class MessagePane;
class QShortcut;
class ReaderProcess;
struct WaveRecord;

// The one view of the main window: draws the loaded file's information lines and
// waveform, and handles the Open command, which loads a chosen file into the wave record.
//
// Each Open starts the reader program, a confined process of its own that parses the file
// (wave/ReaderProcess.h), so that the window keeps painting the file shown, answering the
// window manager and screen readers, while a slow disk is read, and so that a file crafted
// to take over the parser takes over nothing that can harm. A load still running after a
// moment shows its progress in the status bar's message pane and a busy cursor over the
// view; Esc, another chosen file or closing the window kills the reader, and the view keeps
// no thread or descriptor of it, whatever the disk does. The record changes only here, in
// one step, from the reader's answer, when a load has succeeded; a file the load rejects
// leaves the view as it was, and the message pane says why until the next file is chosen.
// Without the reader program the file is read in this process, and the first Open says so
// on standard error.
//
// Screen readers meet the view as an image named after the file shown (its path), with the
// summary line as its description.
class CVOQ006View final : public QWidget {
    Q_OBJECT

public:
    static const std::array<Command<CVOQ006View>, 1> kCommands;

    // How long a load runs before it shows its progress, and how often the progress is
    // updated then, in milliseconds.
    static constexpr int kProgressDelayMs = 300;
    static constexpr int kProgressIntervalMs = 200;

    // record is the application's: what the view shows and the Open command fills.
    CVOQ006View(WaveRecord& record, MessagePane& messagePane, QWidget* parent);
    ~CVOQ006View() override;
    CVOQ006View(const CVOQ006View&) = delete;
    CVOQ006View& operator=(const CVOQ006View&) = delete;

    // A load runs.
    bool IsLoading() const { return m_load != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void OnDraw(DrawingSurface& surface);
    // The handler of ID_FILE_OPEN.
    void OnFileOpen();

    void StartLoad(const std::string& path);
    void CancelLoad();
    // Called on this thread when load number number has ended.
    void OnLoadEnded(unsigned number);
    void ShowLoadProgress();
    void EndLoadProgress();
    void DescribeShownFile();
    void ShowPathToolTip(const QHelpEvent& help);

    WaveRecord& m_record;
    MessagePane& m_messagePane;
    QTimer m_progressTimer;
    QShortcut* m_cancelKey{}; // Esc; owned by the main window
    QElapsedTimer m_loadClock;
    bool m_progressShown{false};
    unsigned m_loadNumber{}; // the number of the latest load started
    std::unique_ptr<ReaderProcess> m_load;
};
