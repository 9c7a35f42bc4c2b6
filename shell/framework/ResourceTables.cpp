#include "shell/framework/ResourceTables.h"

#include <QPixmap>

namespace {

const ResourceTables kNoResources{};
const ResourceTables* g_resources = &kNoResources;

template <typename Entry> const Entry* FindById(std::span<const Entry> entries, UINT id) {
    for (const Entry& entry : entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

void AfxSetResourceTables(const ResourceTables& tables) {
    g_resources = &tables;
}

const ResourceTables& AfxGetResourceTables() {
    return *g_resources;
}

const char* AfxFindString(UINT id) {
    const StringResource* entry = FindById(g_resources->strings, id);
    return entry != nullptr ? entry->text : nullptr;
}

std::string AfxLoadString(UINT id) {
    const char* text = AfxFindString(id);
    return text != nullptr ? std::string(text) : std::string();
}

std::string AfxFirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

const MenuResource* AfxFindMenu(UINT id) {
    return FindById(g_resources->menus, id);
}

const AcceleratorTableResource* AfxFindAccelerators(UINT id) {
    return FindById(g_resources->accelerators, id);
}

const DialogResource* AfxFindDialog(UINT id) {
    return FindById(g_resources->dialogs, id);
}

QIcon AfxLoadIcon(UINT id) {
    QIcon icon;
    if (const IconResource* entry = FindById(g_resources->icons, id)) {
        for (const char* path : entry->imagePaths) {
            icon.addPixmap(QPixmap(QString::fromUtf8(path)));
        }
    }
    return icon;
}
