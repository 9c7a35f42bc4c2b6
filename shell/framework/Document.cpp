#include "shell/framework/Document.h"

BOOL CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.clear();
    return TRUE;
}

BOOL CDocument::OnOpenDocument(const char*) {
    DeleteContents();
    CArchive archive;
    Serialize(archive);
    return TRUE;
}

void CDocument::Serialize(CArchive&) {}

void CDocument::DeleteContents() {}

void CDocument::SetTitle(const char* title) {
    m_strTitle = title;
}

void CDocument::SetPathName(const char* path) {
    m_strPathName = path;
    const std::string::size_type slash = m_strPathName.rfind('/');
    m_strTitle = slash == std::string::npos ? m_strPathName : m_strPathName.substr(slash + 1);
}
