#pragma once

#include <string>
#include <vector>

#include "shell/framework/Wnd.h"

class QLabel;

// The status bar along the bottom of a frame: a row of panes made from identifiers. A
// separator (ID_SEPARATOR) is the stretching message pane; any other identifier is an
// indicator pane that shows its string from the string table while its indicator is on
// (ID_INDICATOR_KANA, _CAPS, _NUM, _SCRL: the lock keys) and is blank otherwise.
class CStatusBar : public CWnd {
public:
    CStatusBar();
    ~CStatusBar() override;

    // Creates the bar along the bottom of pParentWnd, a frame; style WS_VISIBLE shows it
    // at once.
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                UINT nID = AFX_IDW_STATUS_BAR);
    // Makes the panes; FALSE where an indicator has no string.
    BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);

    int GetCount() const { return static_cast<int>(m_panes.size()); }
    UINT GetItemID(int nIndex) const;
    std::string GetPaneText(int nIndex) const;
    BOOL SetPaneText(int nIndex, const char* text);

    // Shows or blanks the indicator panes with this identifier (called as the lock keys
    // change).
    void SetIndicatorOn(UINT nID, bool on);

private:
    struct Pane {
        UINT id;
        std::string text; // the indicator's string
        QLabel* label;
    };
    std::vector<Pane> m_panes;
};
