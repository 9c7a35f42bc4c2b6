#pragma once

#include <QElapsedTimer>

#include <memory>
#include <string>

#include "shell/framework/View.h"

class BackgroundLoad;
class QObject;
class QShortcut;
class QTimer;
struct WaveRecord;

// The one view of the main window: draws the loaded file's information lines and
// waveform, and handles the Open command, which loads a chosen file into the wave record.
//
// The load runs beside the user-interface thread, so that the window keeps painting the
// file shown, answering the window manager and screen readers, while a slow disk is read.
// A load still running after a moment shows its progress in the status bar and a busy
// cursor over the view; Esc, another chosen file or closing the window cancels it. The
// record changes only here, in one step, when a load has succeeded.
class CVOQ006View : public CView {
    DECLARE_DYNCREATE(CVOQ006View)
public:
    // The Open dialog's settings.
    static constexpr const char* kDefaultExtension = "NULL";
    static constexpr const char* kInitialFileName = "*.wav";
    static constexpr const char* kFilter = "波形ファイル(*.wav)|*.wav|すべてのファイル(*.*)|*.*||";
    static constexpr DWORD kOpenFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    // How long a load runs before it shows its progress, and how often the progress is
    // updated then, in milliseconds.
    static constexpr int kProgressDelayMs = 300;
    static constexpr int kProgressIntervalMs = 200;

    CVOQ006View();
    ~CVOQ006View() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void OnInitialUpdate() override;
    void OnDraw(DrawingSurface& surface) override;
    // Over the path line: the full path, for a path cut at the window's edge.
    BOOL OnToolHitTest(const QPoint& point, std::string& text, QRect& area) const override;
    // The handler of ID_FILE_OPEN.
    void OnFileOpen();

    // A load runs (or a cancelled one has not yet stopped reading).
    bool IsLoading() const { return m_load != nullptr; }
    // Stops the load that runs, if any: the record and the view stay as they are.
    void CancelLoad();

protected:
    DECLARE_MESSAGE_MAP()

private:
    void StartLoad(const std::string& path);
    // Called on this thread when load number number has ended.
    void OnLoadEnded(unsigned number);
    void ShowLoadProgress();
    void EndLoadProgress();
    // Gives screen readers the path and the summary line of the file shown, as drawn.
    void DescribeShownFile();

    // The application's record: what the view shows and the Open command fills.
    WaveRecord& m_record;
    // Receives the loads' ends on this thread; a load's end that arrives after the view has
    // gone is dropped with it. Declared before m_load, so that it outlives the load.
    std::unique_ptr<QObject> m_loadEvents;
    QTimer* m_progressTimer{}; // owned by m_loadEvents
    QShortcut* m_cancelKey{};  // Esc; owned by the main window
    QElapsedTimer m_loadClock;
    bool m_progressShown{false};
    unsigned m_loadNumber{}; // the number of the latest load started
    std::unique_ptr<BackgroundLoad> m_load;
};
