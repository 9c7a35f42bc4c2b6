#include "shell/framework/SingleDocTemplate.h"

#include "shell/framework/CreateContext.h"
#include "shell/framework/Document.h"
#include "shell/framework/FrameWnd.h"
#include "shell/framework/ResourceTables.h"
#include "shell/framework/WinApp.h"

namespace {

// The title of a new document: the framework's "untitled" text.
const char* UntitledText() {
    const char* text = AfxFindString(AFX_IDS_UNTITLED);
    return text != nullptr ? text : "無題";
}

} // namespace

IMPLEMENT_DYNAMIC(CSingleDocTemplate)

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                                       const CRuntimeClass* pFrameClass,
                                       const CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass),
      m_pViewClass(pViewClass) {}

CSingleDocTemplate::~CSingleDocTemplate() {
    // This class's own version: a derived class is already gone here.
    CSingleDocTemplate::CloseAllDocuments();
}

void CSingleDocTemplate::CloseAllDocuments() {
    m_frame.reset();
    m_document.reset();
}

BOOL CSingleDocTemplate::InitialiseDocument(CDocument& document, const char* path) {
    if (path == nullptr) {
        document.SetTitle(UntitledText());
        return document.OnNewDocument();
    }
    if (!document.OnOpenDocument(path)) {
        return FALSE;
    }
    document.SetPathName(path);
    return TRUE;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const char* path, BOOL bMakeVisible) {
    if (m_document != nullptr) {
        // One document at a time: the existing one takes the new contents.
        return InitialiseDocument(*m_document, path) ? m_document.get() : nullptr;
    }

    std::unique_ptr<CDocument> document = AfxCreateObjectAs<CDocument>(m_pDocClass);
    if (document == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CFrameWnd> frame = AfxCreateObjectAs<CFrameWnd>(m_pFrameClass);
    if (frame == nullptr) {
        return nullptr;
    }
    CCreateContext context;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pCurrentDoc = document.get();
    context.m_pNewDocTemplate = this;
    if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context)) {
        return nullptr;
    }
    if (!InitialiseDocument(*document, path)) {
        return nullptr;
    }

    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == nullptr) {
        app->m_pMainWnd = frame.get();
    }
    m_document = std::move(document);
    m_frame = std::move(frame);
    m_frame->InitialUpdateFrame(m_document.get(), bMakeVisible);
    return m_document.get();
}
