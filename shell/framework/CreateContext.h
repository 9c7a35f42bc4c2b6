#pragma once

struct CRuntimeClass;
class CDocument;

// What a new frame needs to create its view: the view's class and the document it shows.
struct CCreateContext {
    const CRuntimeClass* m_pNewViewClass{};
    CDocument* m_pCurrentDoc{};
};
