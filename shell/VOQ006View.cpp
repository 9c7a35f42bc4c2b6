#include "shell/VOQ006View.h"

#include <QKeySequence>
#include <QObject>
#include <QRect>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <string>
#include <utility>

#include "display/InfoLines.h"
#include "display/ViewDrawing.h"
#include "display/WaveformPlot.h"
#include "resources/Resource.h"
#include "shell/VOQ006App.h"
#include "shell/framework/FileDialog.h"
#include "shell/framework/FrameWnd.h"
#include "shell/framework/ResourceTables.h"
#include "wave/BackgroundLoad.h"
#include "wave/WaveRecord.h"

IMPLEMENT_DYNCREATE(CVOQ006View)

BEGIN_MESSAGE_MAP(CVOQ006View, CView)
ON_COMMAND(ID_FILE_OPEN, OnFileOpen)
END_MESSAGE_MAP()

// The template creates the view inside the application, which holds the record.
CVOQ006View::CVOQ006View()
    : m_record(static_cast<CVOQ006App*>(AfxGetApp())->Record()),
      m_loadEvents(std::make_unique<QObject>()) {
    m_progressTimer = new QTimer(m_loadEvents.get());
    m_progressTimer->setInterval(kProgressIntervalMs);
    QObject::connect(m_progressTimer, &QTimer::timeout, m_loadEvents.get(),
                     [this] { ShowLoadProgress(); });
}

// A load still running is cancelled and left to stop on its own: closing the window never
// waits for a disk.
CVOQ006View::~CVOQ006View() {
    m_load.reset();
}

BOOL CVOQ006View::PreCreateWindow(CREATESTRUCT& cs) {
    return CView::PreCreateWindow(cs);
}

void CVOQ006View::OnInitialUpdate() {
    CView::OnInitialUpdate();
    QWidget* widget = GetSafeHwnd();
    if (widget == nullptr || m_cancelKey != nullptr) {
        return;
    }
    // Esc anywhere in the main window, but not in a dialog over it, stops a load.
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), widget->window());
    m_cancelKey->setContext(Qt::WindowShortcut);
    m_cancelKey->setEnabled(false);
    QObject::connect(m_cancelKey, &QShortcut::activated, m_loadEvents.get(),
                     [this] { CancelLoad(); });
}

void CVOQ006View::OnDraw(DrawingSurface& surface) {
    // Before the first good load the view stays as white as the erase left it.
    if (m_record.loaded != 1) {
        return;
    }
    DrawLoadedRecord(surface, m_record);
}

void CVOQ006View::OnFileOpen() {
    CFileDialog dialog(TRUE, kDefaultExtension, kInitialFileName, kOpenFlags, kFilter);
    if (dialog.DoModal() != IDOK) {
        // Cancelled: the current file, if any, is drawn again.
        Invalidate(TRUE);
        return;
    }
    StartLoad(dialog.GetPathName());
}

void CVOQ006View::StartLoad(const std::string& path) {
    // A file chosen while another loads replaces it: the first is never shown.
    CancelLoad();
    m_load.reset();
    const unsigned number = ++m_loadNumber;
    QObject* events = m_loadEvents.get();
    m_load = std::make_unique<BackgroundLoad>(
        path, static_cast<std::uint32_t>(kWaveformColumns), [events, this, number] {
            QMetaObject::invokeMethod(
                events, [this, number] { OnLoadEnded(number); }, Qt::QueuedConnection);
        });
    m_loadClock.start();
    m_progressTimer->start();
    if (m_cancelKey != nullptr) {
        m_cancelKey->setEnabled(true);
    }
    // Most files are read before the progress would show: those look as if read at once.
    QTimer::singleShot(kProgressDelayMs, events, [this, number] {
        if (number == m_loadNumber) {
            ShowLoadProgress();
        }
    });
}

void CVOQ006View::CancelLoad() {
    if (m_load != nullptr) {
        m_load->Cancel();
    }
    EndLoadProgress();
}

void CVOQ006View::OnLoadEnded(unsigned number) {
    if (number != m_loadNumber || m_load == nullptr) {
        return; // a load replaced before it ended
    }
    const bool loaded = m_load->Outcome().status == LoadStatus::Loaded;
    if (loaded) {
        // The one step in which the record changes; loaded is the view's own.
        m_record = std::move(m_load->Record());
        m_record.loaded = 1;
    }
    m_load.reset();
    EndLoadProgress();
    // A rejected or cancelled file leaves the record as it was; the view keeps what it
    // showed and is not repainted.
    if (loaded) {
        DescribeShownFile();
        Invalidate(TRUE);
    }
}

void CVOQ006View::ShowLoadProgress() {
    if (m_load == nullptr || m_load->Ended() || !m_progressTimer->isActive() ||
        m_loadClock.elapsed() < kProgressDelayMs) {
        return;
    }
    if (!m_progressShown) {
        m_progressShown = true;
        if (QWidget* widget = GetSafeHwnd()) {
            widget->setCursor(Qt::BusyCursor);
        }
    }
    char text[256];
    std::snprintf(text, sizeof text, AfxLoadString(IDS_LOADING).c_str(), m_load->PercentRead());
    if (CFrameWnd* frame = GetParentFrame()) {
        frame->SetMessageText(text);
    }
}

void CVOQ006View::EndLoadProgress() {
    m_progressTimer->stop();
    if (m_cancelKey != nullptr) {
        m_cancelKey->setEnabled(false);
    }
    if (!m_progressShown) {
        return;
    }
    m_progressShown = false;
    if (QWidget* widget = GetSafeHwnd()) {
        widget->unsetCursor();
    }
    if (CFrameWnd* frame = GetParentFrame()) {
        frame->SetMessageText(AFX_IDS_IDLEMESSAGE);
    }
}

void CVOQ006View::DescribeShownFile() {
    // The very texts the information lines draw, so that what is read out is what is seen
    // (a path's bytes that are not UTF-8 included).
    const InfoTexts texts = DescribeInfoLines(m_record);
    QWidget* widget = GetSafeHwnd();
    if (widget == nullptr) {
        return;
    }
    // Qt tells screen readers of each change.
    widget->setAccessibleName(QString::fromStdString(texts.path));
    widget->setAccessibleDescription(QString::fromStdString(texts.summary));
}

BOOL CVOQ006View::OnToolHitTest(const QPoint& point, std::string& text, QRect& area) const {
    const QWidget* widget = GetSafeHwnd();
    if (widget == nullptr || m_record.loaded != 1) {
        return FALSE;
    }
    const QRect pathLine(kInfoLeft, kInfoTop, widget->width(), kInfoLineHeight);
    if (!pathLine.contains(point)) {
        return FALSE;
    }
    text = widget->accessibleName().toStdString();
    area = pathLine;
    return TRUE;
}
