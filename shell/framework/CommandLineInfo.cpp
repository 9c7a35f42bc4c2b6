#include "shell/framework/CommandLineInfo.h"

void CCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL) {
    if (bFlag || !m_strFileName.empty()) {
        return;
    }
    m_strFileName = pszParam;
    m_nShellCommand = FileOpen;
}
