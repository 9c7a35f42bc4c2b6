#include "shell/CommandBinder.h"

#include <QAction>
#include <QWidget>

namespace {

// The key that gives command, or an empty combination.
QKeyCombination AcceleratorOf(ResourceId command) {
    for (const AcceleratorResource& entry : MainAccelerators()) {
        if (entry.command == command) {
            return entry.keys;
        }
    }
    return {};
}

} // namespace

QAction* CommandBinder::ActionFor(const MenuItemResource& item) {
    auto* action = new QAction(QString::fromUtf8(item.text), &m_window);
    // Qt shows the text after a tab in the shortcut column. An item whose command has a key
    // carries the key as its shortcut instead, the key's one binding.
    if (const QKeyCombination keys = AcceleratorOf(item.command); keys != QKeyCombination()) {
        action->setText(action->text().section(u'\t', 0, 0));
        action->setShortcut(QKeySequence(keys));
    }
    action->setStatusTip(Prompt(item.command));
    m_actions[item.command] = action;
    return action;
}

void CommandBinder::Connect(ResourceId command, const std::function<void()>& handler) {
    const auto found = m_actions.find(command);
    if (found != m_actions.end()) {
        QObject::connect(found->second, &QAction::triggered, found->second, handler);
    }
}
