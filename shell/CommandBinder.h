#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>

#include "resources/ApplicationResources.h"

class QAction;
class QWidget;

// One row of a class's command table: a command and the member that carries it out.
template <typename Owner> struct Command {
    ResourceId id;
    void (Owner::*handler)();
};

// The main window's commands as Qt actions. The menu bar asks for the action of each menu
// item: it carries the item's text, the accelerator's key as its shortcut (shown in the
// menu and read by screen readers apart from the name) and the command's prompt as its
// status tip. Each class then binds its table: the action of each command it lists calls
// its handler.
class CommandBinder {
public:
    // The actions belong to window, whose status bar shows their prompts.
    explicit CommandBinder(QWidget& window) : m_window(window) {}

    QAction* ActionFor(const MenuItemResource& item);

    template <typename Owner, std::size_t N>
    void Bind(Owner& owner, const std::array<Command<Owner>, N>& table) {
        for (const Command<Owner>& command : table) {
            Connect(command.id, [&owner, handler = command.handler] { (owner.*handler)(); });
        }
    }

private:
    void Connect(ResourceId command, const std::function<void()>& handler);

    QWidget& m_window;
    std::map<ResourceId, QAction*> m_actions;
};
