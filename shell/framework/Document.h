#pragma once

#include <string>

#include "shell/framework/Archive.h"
#include "shell/framework/CmdTarget.h"

// A document: the data behind the views of a frame, with a title and a path.
class CDocument : public CCmdTarget {
public:
    ~CDocument() override = default;

    // A new, empty document: clears the contents. FALSE stops the creation.
    virtual BOOL OnNewDocument();
    // The document named by path: clears the contents and reads through Serialize.
    virtual BOOL OnOpenDocument(const char* path);
    virtual void Serialize(CArchive& archive);
    virtual void DeleteContents();

    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const char* title);
    const std::string& GetPathName() const { return m_strPathName; }
    // Sets the path and makes its file name the title.
    void SetPathName(const char* path);

protected:
    CDocument() = default;

private:
    std::string m_strTitle;
    std::string m_strPathName;
};
