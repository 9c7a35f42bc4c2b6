#pragma once

#include <memory>

#include "shell/framework/DocTemplate.h"

// The template of a program with one document at a time: one document, in one frame
// with one view. Opening another document reuses them.
class CSingleDocTemplate : public CDocTemplate {
    DECLARE_DYNAMIC(CSingleDocTemplate)
public:
    // nIDResource names the frame's menu, accelerators, icon and title string.
    CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                       const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass);
    ~CSingleDocTemplate() override;

    CDocument* OpenDocumentFile(const char* path, BOOL bMakeVisible = TRUE) override;
    void CloseAllDocuments() override;

    CDocument* GetDocument() const { return m_document.get(); }

private:
    BOOL InitialiseDocument(CDocument& document, const char* path);

    UINT m_nIDResource;
    const CRuntimeClass* m_pDocClass;
    const CRuntimeClass* m_pFrameClass;
    const CRuntimeClass* m_pViewClass;
    std::unique_ptr<CDocument> m_document;
    std::unique_ptr<CFrameWnd> m_frame; // destroyed before the document its view shows
};
