#include "shell/VOQ006View.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QPainter>
#include <QShortcut>
#include <QToolTip>

#include <cstdio>
#include <utility>

#include "display/InfoLines.h"
#include "display/ViewDrawing.h"
#include "display/WaveformPlot.h"
#include "display/qt/PainterSurface.h"
#include "resources/ApplicationResources.h"
#include "shell/MessagePane.h"
#include "shell/OpenFileDialog.h"
#include "shell/VOQ006App.h"
#include "wave/ReaderProcess.h"
#include "wave/WaveRecord.h"

const std::array<Command<CVOQ006View>, 1> CVOQ006View::kCommands{{
    {ID_FILE_OPEN, &CVOQ006View::OnFileOpen},
}};

namespace {

// A plain widget is a "filler" to screen readers, which skip it; the view is an image.
QAccessibleInterface* ViewAccessible(const QString&, QObject* object) {
    if (auto* view = qobject_cast<CVOQ006View*>(object)) {
        return new QAccessibleWidget(view, QAccessible::Graphic);
    }
    return nullptr;
}

// Installs the view's accessible role once, before the first view exists: Qt keeps the
// interface it made for a widget, and a view met before would stay a filler.
QWidget* WithViewAccessible(QWidget* parent) {
    static const bool installed = [] {
        QAccessible::installFactory(ViewAccessible);
        return true;
    }();
    static_cast<void>(installed);
    return parent;
}

// A load that runs in this process because the reader program is missing is not confined:
// the first says so, once in the life of the process.
void SayOnceThatFilesAreReadInProcess() {
    static bool said = false;
    if (!said) {
        said = true;
        std::fprintf(stderr, "%s: %s is missing; files are read in this process, unconfined\n",
                     kProgramName, ReaderProcess::ProgramBesideThisOne().c_str());
    }
}

} // namespace

CVOQ006View::CVOQ006View(WaveRecord& record, MessagePane& messagePane, QWidget* parent)
    : QWidget(WithViewAccessible(parent)), m_record(record), m_messagePane(messagePane) {
    // Every paint fills every pixel, white first, so Qt need not clear the view.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { ShowLoadProgress(); });
    // Esc anywhere in the main window, but not in a dialog over it, stops a load.
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), window());
    m_cancelKey->setContext(Qt::WindowShortcut);
    m_cancelKey->setEnabled(false);
    connect(m_cancelKey, &QShortcut::activated, this, [this] { CancelLoad(); });
}

// A load still running is cancelled: its reader is killed, and one that a dead disk keeps
// from dying is left behind, so closing the window never waits for a disk.
CVOQ006View::~CVOQ006View() {
    m_load.reset();
}

void CVOQ006View::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The drawing's colours are fixed, so the background is white whatever the theme.
    painter.fillRect(rect(), Qt::white);
    PainterSurface surface(painter);
    OnDraw(surface);
}

void CVOQ006View::OnDraw(DrawingSurface& surface) {
    // Before the first good load the view stays as white as the paint left it.
    if (m_record.loaded != 1) {
        return;
    }
    DrawLoadedRecord(surface, m_record);
}

void CVOQ006View::OnFileOpen() {
    OpenFileDialog dialog(window());
    const std::string path = dialog.Choose();
    if (path.empty()) {
        // Cancelled: the current file, if any, is drawn again.
        update();
        return;
    }
    StartLoad(path);
}

// The reader adds the dialog's default extension to the path, where the disk may keep it
// waiting for the existence test.
void CVOQ006View::StartLoad(const std::string& path) {
    // A file chosen while another loads replaces it: the first is never shown.
    CancelLoad();
    m_messagePane.ForgetRejection();
    const unsigned number = ++m_loadNumber;
    m_load = std::make_unique<ReaderProcess>(
        path, static_cast<std::uint32_t>(kWaveformColumns),
        [this, number] {
            QMetaObject::invokeMethod(
                this, [this, number] { OnLoadEnded(number); }, Qt::QueuedConnection);
        },
        ReaderProcess::ProgramBesideThisOne(), OpenFileDialog::kDefaultExtension);
    if (m_load->InProcess()) {
        SayOnceThatFilesAreReadInProcess();
    }
    m_loadClock.start();
    m_progressTimer.start();
    m_cancelKey->setEnabled(true);
    // Most files are read before the progress would show: those look as if read at once.
    QTimer::singleShot(kProgressDelayMs, this, [this, number] {
        if (number == m_loadNumber) {
            ShowLoadProgress();
        }
    });
}

// The reader is killed and the load goes with everything it held here; an answer already on
// its way finds no load and is dropped.
void CVOQ006View::CancelLoad() {
    m_load.reset();
    EndLoadProgress();
}

void CVOQ006View::OnLoadEnded(unsigned number) {
    if (number != m_loadNumber || m_load == nullptr) {
        return; // a load replaced before it ended
    }
    const LoadOutcome outcome = m_load->Outcome();
    const std::string path = m_load->Path();
    const bool loaded = outcome.status == LoadStatus::Loaded;
    if (loaded) {
        // The one step in which the record changes; loaded is the view's own.
        m_record = std::move(m_load->Record());
        m_record.loaded = 1;
    }
    m_load.reset();
    EndLoadProgress();
    // A rejected file leaves the record as it was; the view keeps what it showed, is not
    // repainted, and says why. A load the user stopped went with its answer (CancelLoad),
    // and says nothing.
    if (loaded) {
        DescribeShownFile();
        update();
    } else {
        m_messagePane.ShowRejection(outcome, path);
    }
}

void CVOQ006View::ShowLoadProgress() {
    if (m_load == nullptr || m_load->Ended() || !m_progressTimer.isActive() ||
        m_loadClock.elapsed() < kProgressDelayMs) {
        return;
    }
    if (!m_progressShown) {
        m_progressShown = true;
        setCursor(Qt::BusyCursor);
    }
    m_messagePane.ShowProgress(LoadingText(m_load->PercentRead()));
}

void CVOQ006View::EndLoadProgress() {
    m_progressTimer.stop();
    m_cancelKey->setEnabled(false);
    if (!m_progressShown) {
        return;
    }
    m_progressShown = false;
    unsetCursor();
    m_messagePane.ShowProgress({});
}

void CVOQ006View::DescribeShownFile() {
    // The very texts the information lines draw, so that what is read out is what is seen
    // (a path's bytes that are not UTF-8 included). Qt tells screen readers of each change.
    const InfoTexts texts = DescribeInfoLines(m_record);
    setAccessibleName(QString::fromStdString(texts.path));
    setAccessibleDescription(QString::fromStdString(texts.summary));
}

bool CVOQ006View::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        ShowPathToolTip(*static_cast<QHelpEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

// Over the path line: the full path, for a path cut at the window's edge.
void CVOQ006View::ShowPathToolTip(const QHelpEvent& help) {
    const QRect pathLine(kInfoLeft, kInfoTop, width(), kInfoLineHeight);
    if (m_record.loaded != 1 || !pathLine.contains(help.pos())) {
        QToolTip::hideText();
        return;
    }
    // Qt takes a text that looks like markup for rich text, and a path may hold "<b>":
    // escaped, and on one line however long.
    const QString shown =
        QStringLiteral("<p style='white-space:pre'>%1</p>").arg(accessibleName().toHtmlEscaped());
    QToolTip::showText(help.globalPos(), shown, this, pathLine);
}
