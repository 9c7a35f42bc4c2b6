#pragma once

#include "shell/framework/AfxRes.h"
#include "shell/framework/Object.h"

class CCmdTarget;
struct CREATESTRUCT;

// Handler shapes that message tables hold.
using AFX_PMSG = void (CCmdTarget::*)();                    // a command
using AFX_PMSG_CREATE = int (CCmdTarget::*)(CREATESTRUCT*); // WM_CREATE

enum class AfxSig { End, Command, Create };

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // WM_COMMAND or WM_CREATE
    UINT nID;      // the command identifier, for WM_COMMAND
    AfxSig nSig;
    AFX_PMSG pfnCommand;
    AFX_PMSG_CREATE pfnCreate;
};

// A class's table, chained to the table of its base class.
struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// An object that commands can be routed to. Each class names its handlers in a static
// table (BEGIN_MESSAGE_MAP ... END_MESSAGE_MAP); a lookup walks the object's own class
// table first, then those of its base classes.
class CCmdTarget : public CObject {
public:
    ~CCmdTarget() override = default;

    // Handles command nID if this object's tables have an entry for it. Classes that pass
    // commands on (frame, view) override this to route them.
    virtual BOOL OnCmdMsg(UINT nID);

protected:
    CCmdTarget() = default;

    // The first entry for a message (and command id) in this object's tables.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nID) const;

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass [[maybe_unused]] = theClass;                                               \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, AfxSig::End, nullptr, nullptr }                                                        \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP map{&TheBaseClass::GetThisMessageMap, entries};                        \
    return &map;                                                                                   \
    }

#define ON_COMMAND(id, memberFxn)                                                                  \
    {WM_COMMAND, id, AfxSig::Command, static_cast<AFX_PMSG>(&ThisClass::memberFxn), nullptr},

#define ON_WM_CREATE()                                                                             \
    {WM_CREATE, 0, AfxSig::Create, nullptr, static_cast<AFX_PMSG_CREATE>(&ThisClass::OnCreate)},
