#pragma once

#include <functional>

#include "shell/framework/CmdTarget.h"

class CDocument;
class CFrameWnd;
class CView;

// Creates documents with their frames and views from runtime class records.
class CDocTemplate : public CCmdTarget {
public:
    ~CDocTemplate() override = default;

    // The document of path, or a new document without one, with its frame and view;
    // nullptr when any of them cannot be made.
    virtual CDocument* OpenDocumentFile(const char* path, BOOL bMakeVisible = TRUE) = 0;
    // Destroys every document with its frames and views.
    virtual void CloseAllDocuments() = 0;

    // Called with every view the template creates, before its frame is complete: where
    // the application hands a view what it shows.
    void SetViewCreatedHandler(std::function<void(CView&)> handler) {
        m_viewCreated = std::move(handler);
    }
    void OnViewCreated(CView& view) {
        if (m_viewCreated) {
            m_viewCreated(view);
        }
    }

protected:
    CDocTemplate() = default;

private:
    std::function<void(CView&)> m_viewCreated;
};
