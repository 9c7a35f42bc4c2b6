#pragma once

#include <string>

#include "shell/framework/AfxRes.h"

// The framework's reading of the command line: the first argument that is not an option
// names a document to open; without one a new document is made.
class CCommandLineInfo {
public:
    enum ShellCommand { FileNew, FileOpen, FileNothing = -1 };

    virtual ~CCommandLineInfo() = default;

    // One argument. bFlag: it started with "-", which is not part of pszParam. Options
    // name features this framework does not have (printing, DDE, automation) and are
    // ignored.
    virtual void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast);

    ShellCommand m_nShellCommand{FileNew};
    std::string m_strFileName;
};
