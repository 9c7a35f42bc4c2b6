#pragma once

// The root of the framework's classes, and the runtime class record (class name and
// factory) through which the document template creates the document, the frame and the
// view without knowing their types.

#include <memory>

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    CObject* (*m_pfnCreateObject)();
};

class CObject {
public:
    virtual ~CObject() = default;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// A new object of a runtime class, if it is of type T; else nullptr.
template <typename T> std::unique_ptr<T> AfxCreateObjectAs(const CRuntimeClass* runtimeClass) {
    std::unique_ptr<CObject> object(runtimeClass->m_pfnCreateObject());
    if (dynamic_cast<T*>(object.get()) == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<T>(static_cast<T*>(object.release()));
}

// The macros take a class name, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define RUNTIME_CLASS(className) (&className::class##className)

// In the class body: a runtime class record and a factory.
#define DECLARE_DYNCREATE(className)                                                               \
public:                                                                                            \
    static const CRuntimeClass class##className;                                                   \
    static CObject* CreateObject();

// In the source file.
#define IMPLEMENT_DYNCREATE(className)                                                             \
    const CRuntimeClass className::class##className { #className, &className::CreateObject };      \
    CObject* className::CreateObject() {                                                           \
        return new className;                                                                      \
    }
// NOLINTEND(bugprone-macro-parentheses)
