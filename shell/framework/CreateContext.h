#pragma once

struct CRuntimeClass;
class CDocument;
class CDocTemplate;

// What a new frame needs to create its view: the view's class and the document and
// template it belongs to.
struct CCreateContext {
    const CRuntimeClass* m_pNewViewClass{};
    CDocument* m_pCurrentDoc{};
    CDocTemplate* m_pNewDocTemplate{};
};
