#include "shell/VOQ006View.h"

#include "display/ViewDrawing.h"
#include "shell/framework/FileDialog.h"
#include "shell/framework/WaitCursor.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

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
        Invalidate(TRUE);
    }
}
