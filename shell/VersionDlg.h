#pragma once

#include "shell/framework/Dialog.h"

// The version box: icon, version, copyright and an OK button, from dialog template 100.
class CVersionDlg : public CDialog {
public:
    explicit CVersionDlg(CWnd* pParentWnd = nullptr);

protected:
    DECLARE_MESSAGE_MAP()
};
