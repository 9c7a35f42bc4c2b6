#include "shell/framework/StatusBar.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "shell/framework/ResourceTables.h"

CStatusBar::CStatusBar() = default;

CStatusBar::~CStatusBar() = default;

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
    auto* window =
        pParentWnd != nullptr ? qobject_cast<QMainWindow*>(pParentWnd->GetSafeHwnd()) : nullptr;
    if (window == nullptr) {
        return FALSE;
    }
    auto* bar = new QStatusBar(window);
    bar->setObjectName(QStringLiteral("statusBar"));
    // The frame cannot be resized: no size grip.
    bar->setSizeGripEnabled(false);
    Attach(bar);
    SetDlgCtrlID(nID);
    window->setStatusBar(bar);
    bar->setVisible((dwStyle & WS_VISIBLE) != 0);
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
    auto* bar = static_cast<QStatusBar*>(GetSafeHwnd());
    if (bar == nullptr || nIDCount < 0) {
        return FALSE;
    }
    BOOL result = TRUE;
    for (int index = 0; index < nIDCount; ++index) {
        const UINT id = lpIDArray[index];
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("pane%1").arg(index));
        label->setTextFormat(Qt::PlainText);
        Pane pane{id, {}, label};
        if (id == ID_SEPARATOR) {
            bar->addWidget(label, 1);
        } else {
            const char* text = AfxFindString(id);
            if (text == nullptr) {
                result = FALSE;
            } else {
                pane.text = text;
            }
            // Wide enough for the text, so the pane keeps its place while it is blank.
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignCenter);
            const QString sample = QString::fromStdString(pane.text);
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sample) + 12);
            bar->addPermanentWidget(label);
        }
        m_panes.push_back(pane);
    }
    if (nIDCount > 0 && m_panes.front().id == ID_SEPARATOR) {
        SetPaneText(0, AfxLoadString(AFX_IDS_IDLEMESSAGE).c_str());
    }
    return result;
}

UINT CStatusBar::GetItemID(int nIndex) const {
    return nIndex >= 0 && nIndex < GetCount() ? m_panes[static_cast<std::size_t>(nIndex)].id
                                              : ID_SEPARATOR;
}

std::string CStatusBar::GetPaneText(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) {
        return {};
    }
    return m_panes[static_cast<std::size_t>(nIndex)].label->text().toStdString();
}

BOOL CStatusBar::SetPaneText(int nIndex, const char* text) {
    if (nIndex < 0 || nIndex >= GetCount()) {
        return FALSE;
    }
    m_panes[static_cast<std::size_t>(nIndex)].label->setText(QString::fromUtf8(text));
    return TRUE;
}

void CStatusBar::SetIndicatorOn(UINT nID, bool on) {
    for (Pane& pane : m_panes) {
        if (pane.id == nID && nID != ID_SEPARATOR) {
            pane.label->setText(on ? QString::fromStdString(pane.text) : QString());
        }
    }
}
