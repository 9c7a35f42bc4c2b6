#pragma once

#include <QFont>
#include <QRect>
#include <QtGui/qwindowdefs.h>

#include "shell/framework/Wnd.h"

// Pixels per dialog unit, as the classic system defines them for a dialog's font: a
// horizontal unit is a quarter of the average width of "A" to "Z" and "a" to "z", a
// vertical unit an eighth of the font's height.
struct DialogBaseUnits {
    int x; // average character width in pixels (four horizontal units)
    int y; // character height in pixels (eight vertical units)
};
DialogBaseUnits AfxGetDialogBaseUnits(const QFont& font);
// A rectangle in dialog units, in pixels.
QRect AfxMapDialogRect(const QRect& dialogUnits, const DialogBaseUnits& units);

// Another program destroyed the native window of one of this program's modal boxes (a
// dialog box, the file dialog or a message box): the box ends as if it had been cancelled
// (a dialog box through OnCancel, the file dialog with IDCANCEL, a message box as if OK had
// been pressed), so that the window it stood over can be used again. False where no box
// has that window.
bool AfxEndDialogOfWindow(WId window);

// A modal dialog box built from a dialog template of the resource tables. The buttons
// deliver their identifiers as commands: IDOK ends the box through OnOK, IDCANCEL (also
// Esc and the caption's close box) through OnCancel.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Shows the box until it is ended; returns what EndDialog was given, or -1 where
    // the template does not exist.
    virtual int DoModal();
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // A control's command: the dialog's tables, then the standard OK and Cancel.
    BOOL OnCommand(UINT nID);

protected:
    CDialog() = default;
    // The widget the box is modal over: the given parent, or the main window.
    QWidget* ParentWidget() const;

    UINT m_nIDTemplate{};
    CWnd* m_pParentWnd{};
    int m_nModalResult{-1};

    DECLARE_MESSAGE_MAP()
};
