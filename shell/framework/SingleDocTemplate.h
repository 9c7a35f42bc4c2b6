#pragma once

#include <memory>

#include "shell/framework/AfxRes.h"
#include "shell/framework/Object.h"

class CDocument;
class CFrameWnd;

// The template of a program with one document: it creates the document, its frame and the
// frame's view from their runtime class records, once.
class CSingleDocTemplate : public CObject {
public:
    // nIDResource names the frame's menu, accelerators, icon and title string.
    CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                       const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass);
    ~CSingleDocTemplate() override;

    // Creates the document of path, or a new untitled document without one, with its frame
    // and view, and makes the frame the application's main window. FALSE when any of them
    // cannot be made, or a document already exists.
    BOOL CreateDocument(const char* path);
    // Destroys the document with its frame and view.
    void CloseAllDocuments();

    CDocument* GetDocument() const { return m_document.get(); }

private:
    UINT m_nIDResource;
    const CRuntimeClass* m_pDocClass;
    const CRuntimeClass* m_pFrameClass;
    const CRuntimeClass* m_pViewClass;
    std::unique_ptr<CDocument> m_document;
    std::unique_ptr<CFrameWnd> m_frame; // destroyed before the document its view shows
};
