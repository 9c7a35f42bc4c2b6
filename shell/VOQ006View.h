#pragma once

#include "shell/framework/View.h"

struct WaveRecord;

// The one view of the main window: draws the loaded file's information lines and
// waveform, and handles the Open command, which loads a chosen file into the wave record.
class CVOQ006View : public CView {
    DECLARE_DYNCREATE(CVOQ006View)
public:
    // The Open dialog's settings.
    static constexpr const char* kDefaultExtension = "NULL";
    static constexpr const char* kInitialFileName = "*.wav";
    static constexpr const char* kFilter = "波形ファイル(*.wav)|*.wav|すべてのファイル(*.*)|*.*||";
    static constexpr DWORD kOpenFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

    // The record this view shows and the Open command fills; the application hands it
    // over as the view is created. Without one the view stays blank.
    void SetRecord(WaveRecord& record) { m_record = &record; }

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void OnDraw(DrawingSurface& surface) override;
    // Over the path line: the full path, for a path cut at the window's edge.
    BOOL OnToolHitTest(const QPoint& point, std::string& text, QRect& area) const override;
    // The handler of ID_FILE_OPEN.
    void OnFileOpen();

protected:
    DECLARE_MESSAGE_MAP()

private:
    // Gives screen readers the path and the summary line of the file shown, as drawn.
    void DescribeShownFile();

    WaveRecord* m_record{};
};
