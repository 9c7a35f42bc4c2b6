#include "shell/framework/SingleDocTemplate.h"

#include "shell/framework/CreateContext.h"
#include "shell/framework/Document.h"
#include "shell/framework/FrameWnd.h"
#include "shell/framework/WinApp.h"

namespace {

BOOL InitialiseDocument(CDocument& document, const char* path) {
    if (path == nullptr) {
        return document.OnNewDocument();
    }
    if (!document.OnOpenDocument(path)) {
        return FALSE;
    }
    document.SetPathName(path);
    return TRUE;
}

} // namespace

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                                       const CRuntimeClass* pFrameClass,
                                       const CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass),
      m_pViewClass(pViewClass) {}

CSingleDocTemplate::~CSingleDocTemplate() {
    CloseAllDocuments();
}

void CSingleDocTemplate::CloseAllDocuments() {
    m_frame.reset();
    m_document.reset();
}

BOOL CSingleDocTemplate::CreateDocument(const char* path) {
    if (m_document != nullptr) {
        return FALSE;
    }
    std::unique_ptr<CDocument> document = AfxCreateObjectAs<CDocument>(m_pDocClass);
    std::unique_ptr<CFrameWnd> frame = AfxCreateObjectAs<CFrameWnd>(m_pFrameClass);
    if (document == nullptr || frame == nullptr) {
        return FALSE;
    }
    CCreateContext context{m_pViewClass, document.get()};
    if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW, &context) ||
        !InitialiseDocument(*document, path)) {
        return FALSE;
    }
    AfxGetApp()->m_pMainWnd = frame.get();
    m_document = std::move(document);
    m_frame = std::move(frame);
    m_frame->InitialUpdateFrame();
    return TRUE;
}
