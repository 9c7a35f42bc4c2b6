#include "shell/VOQ006View.h"

#include <QRect>
#include <QWidget>

#include <string>
#include <vector>

#include "display/InfoLines.h"
#include "display/ViewDrawing.h"
#include "shell/framework/FileDialog.h"
#include "shell/framework/WaitCursor.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

// The height of the path line in pixels: the summary line stands 20 pixels below it.
constexpr int kPathLineHeight = 20;

// A surface that only keeps the texts drawn on it, in order.
class TextCapture final : public DrawingSurface {
public:
    PenHandle CreatePen(PenStyle, int, Colour) override { return ++m_lastPen; }
    PenHandle SelectPen(PenHandle) override { return 0; }
    void DeletePen(PenHandle) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void TextOut(int, int, std::string_view utf8) override { m_texts.emplace_back(utf8); }
    void SetTextColour(Colour) override {}

    const std::vector<std::string>& Texts() const { return m_texts; }

private:
    PenHandle m_lastPen{};
    std::vector<std::string> m_texts;
};

} // namespace

IMPLEMENT_DYNCREATE(CVOQ006View)

BEGIN_MESSAGE_MAP(CVOQ006View, CView)
ON_COMMAND(ID_FILE_OPEN, OnFileOpen)
END_MESSAGE_MAP()

BOOL CVOQ006View::PreCreateWindow(CREATESTRUCT& cs) {
    return CView::PreCreateWindow(cs);
}

void CVOQ006View::OnDraw(DrawingSurface& surface) {
    // Before the first good load the view stays as white as the erase left it.
    if (m_record == nullptr || m_record->loaded != 1) {
        return;
    }
    DrawLoadedRecord(surface, *m_record);
}

void CVOQ006View::OnFileOpen() {
    CFileDialog dialog(TRUE, kDefaultExtension, kInitialFileName, kOpenFlags, kFilter);
    if (dialog.DoModal() != IDOK) {
        // Cancelled: the current file, if any, is drawn again.
        Invalidate(TRUE);
        return;
    }
    if (m_record == nullptr) {
        return;
    }
    int result = 1;
    {
        CWaitCursor wait;
        result = LoadWaveFile(*m_record, dialog.GetPathName());
    }
    // A rejected file, or one that cannot be opened, leaves the record as it was; the
    // view keeps what it showed and is not repainted.
    if (result == 0) {
        m_record->loaded = 1;
        DescribeShownFile();
        Invalidate(TRUE);
    }
}

void CVOQ006View::DescribeShownFile() {
    // The information lines draw the path first and the summary second; taking their very
    // texts keeps what is read out equal to what is seen (a path's bytes that are not
    // UTF-8 included).
    TextCapture lines;
    DrawInfoLines(lines, *m_record, 0, 0);
    QWidget* widget = GetSafeHwnd();
    if (widget == nullptr || lines.Texts().size() < 2) {
        return;
    }
    // Qt tells screen readers of each change.
    widget->setAccessibleName(QString::fromStdString(lines.Texts()[0]));
    widget->setAccessibleDescription(QString::fromStdString(lines.Texts()[1]));
}

BOOL CVOQ006View::OnToolHitTest(const QPoint& point, std::string& text, QRect& area) const {
    const QWidget* widget = GetSafeHwnd();
    if (widget == nullptr || m_record == nullptr || m_record->loaded != 1) {
        return FALSE;
    }
    const QRect pathLine(0, 0, widget->width(), kPathLineHeight);
    if (!pathLine.contains(point)) {
        return FALSE;
    }
    text = widget->accessibleName().toStdString();
    area = pathLine;
    return TRUE;
}
