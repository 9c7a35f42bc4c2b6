#pragma once

#include <string>
#include <vector>

#include "shell/framework/Dialog.h"

// The settings of a file dialog, under the classic names.
struct OPENFILENAME {
    DWORD Flags{};
};

// The Open file dialog: Qt's own file dialog widget, so that it looks the same
// on every desktop and tests can drive it. The filter is given in the classic form
// "description|patterns|description|patterns||" (patterns separated by ";").
//
// Behaviour on this platform:
// - "*.*" means every file, also one without a dot in its name.
// - The default extension is added only to a typed name that has none and does not name
//   an existing file, so an existing "bar" stays "bar".
// - Without OFN_FILEMUSTEXIST the chosen file need not exist.
// - The dialog opens in the folder of the last file chosen in this process.
// - A typed name with "*" or "?" filters the list instead of ending the dialog.
class CFileDialog : public CDialog {
public:
    // Every dialog of this framework is an Open dialog: bOpenFileDialog is TRUE at every
    // caller, and there is no Save dialog to choose.
    explicit CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt = nullptr,
                         const char* lpszFileName = nullptr,
                         DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         const char* lpszFilter = nullptr, CWnd* pParentWnd = nullptr);

    // IDOK when the user confirmed a file, else IDCANCEL.
    int DoModal() override;
    // The full path of the chosen file.
    std::string GetPathName() const { return m_strPathName; }

    struct Filter {
        std::string description;
        std::vector<std::string> patterns;
    };
    // The filter string in its parts.
    static std::vector<Filter> ParseFilter(const char* filter);
    // The chosen path with the default extension applied as described above.
    static std::string ApplyDefaultExtension(const std::string& path, const std::string& extension);

    OPENFILENAME m_ofn;

private:
    std::string m_strDefExt;
    std::string m_strFileName;
    std::vector<Filter> m_filters;
    std::string m_strPathName;
};
