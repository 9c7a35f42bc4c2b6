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
