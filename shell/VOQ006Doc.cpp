#include "shell/VOQ006Doc.h"

IMPLEMENT_DYNCREATE(CVOQ006Doc)

BEGIN_MESSAGE_MAP(CVOQ006Doc, CDocument)
END_MESSAGE_MAP()

BOOL CVOQ006Doc::OnNewDocument() {
    return CDocument::OnNewDocument() ? TRUE : FALSE;
}

void CVOQ006Doc::Serialize(CArchive&) {}
