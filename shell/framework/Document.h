#pragma once

#include <string>

#include "shell/framework/Archive.h"
#include "shell/framework/CmdTarget.h"

// A document: the data behind the view of a frame, and the path it was opened from.
class CDocument : public CCmdTarget {
public:
    ~CDocument() override = default;

    // A new, empty document: clears the contents. FALSE stops the creation.
    virtual BOOL OnNewDocument();
    // The document named by path: clears the contents and reads through Serialize.
    virtual BOOL OnOpenDocument(const char* path);
    virtual void Serialize(CArchive& archive);
    virtual void DeleteContents();

    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const char* path) { m_strPathName = path; }

protected:
    CDocument() = default;

private:
    std::string m_strPathName;
};
