#pragma once

// The root of the framework's classes, and the runtime class record (class name and
// factory) through which the document template creates documents, frames and views
// without knowing their types.

#include <memory>

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    CObject* (*m_pfnCreateObject)(); // nullptr for classes that cannot be created by name

    CObject* CreateObject() const {
        return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
    }
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const = 0;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// An object of a runtime class, if it is of type T; nullptr for no class, a class that
// cannot be created by name, or an object of another type.
template <typename T> std::unique_ptr<T> AfxCreateObjectAs(const CRuntimeClass* runtimeClass) {
    std::unique_ptr<CObject> object(runtimeClass != nullptr ? runtimeClass->CreateObject()
                                                            : nullptr);
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
    static CObject* CreateObject();                                                                \
    const CRuntimeClass* GetRuntimeClass() const override;

// In the source file.
#define IMPLEMENT_DYNCREATE(className)                                                             \
    const CRuntimeClass className::class##className { #className, &className::CreateObject };      \
    CObject* className::CreateObject() {                                                           \
        return new className;                                                                      \
    }                                                                                              \
    const CRuntimeClass* className::GetRuntimeClass() const {                                      \
        return RUNTIME_CLASS(className);                                                           \
    }

// A runtime class record for a class that is not created by name.
#define DECLARE_DYNAMIC(className)                                                                 \
public:                                                                                            \
    static const CRuntimeClass class##className;                                                   \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(className)                                                               \
    const CRuntimeClass className::class##className { #className, nullptr };                       \
    const CRuntimeClass* className::GetRuntimeClass() const {                                      \
        return RUNTIME_CLASS(className);                                                           \
    }
// NOLINTEND(bugprone-macro-parentheses)
