#pragma once

#include "shell/framework/Document.h"

// The document of the one window. It holds nothing: the sound lives in the wave record,
// which the Open command of the view fills.
class CVOQ006Doc : public CDocument {
    DECLARE_DYNCREATE(CVOQ006Doc)
public:
    BOOL OnNewDocument() override;
    // Reads and writes nothing: a file named on the command line loads no sound.
    void Serialize(CArchive& archive) override;

protected:
    DECLARE_MESSAGE_MAP()
};
