#include "shell/VersionDlg.h"

#include "resources/Resource.h"

CVersionDlg::CVersionDlg(CWnd* pParentWnd) : CDialog(IDD_VERSION, pParentWnd) {}

BEGIN_MESSAGE_MAP(CVersionDlg, CDialog)
END_MESSAGE_MAP()
