#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <QIcon>

#include "shell/framework/AfxRes.h"

// The program's user-interface resources as plain data tables: strings, menus,
// accelerators, dialog templates, icons and the version record. The program hands its
// tables to the framework once, before the application starts; the framework looks
// entries up by identifier, as the classic framework loads them from the executable.

struct StringResource {
    UINT id;
    const char* text; // UTF-8; a command's string is "prompt\nshort name"
};

// One item of a drop-down menu; a null text is a separator.
struct MenuItemResource {
    const char* text; // "&" marks the mnemonic; a tab puts the rest in the shortcut column
    UINT command;
};

struct PopupMenuResource {
    const char* title;
    std::span<const MenuItemResource> items;
};

struct MenuResource {
    UINT id;
    std::span<const PopupMenuResource> popups;
};

struct AcceleratorResource {
    std::uint8_t flags; // FVIRTKEY | FCONTROL | ...
    std::uint16_t key;  // a virtual key: the upper-case letter or digit itself for those
    UINT command;
};

struct AcceleratorTableResource {
    UINT id;
    std::span<const AcceleratorResource> entries;
};

enum class DialogControlKind { Static, Button };

// A control of a dialog template; position and size are in dialog units.
struct DialogControlResource {
    DialogControlKind kind;
    const char* text; // the text, or for an SS_ICON static the icon's id in decimal
    int x, y, cx, cy;
    int id; // -1 for none
    DWORD style;
};

struct DialogResource {
    UINT id;
    const char* caption;
    const char* fontName;
    int pointSize;
    int x, y, cx, cy; // dialog units
    DWORD style;
    std::span<const DialogControlResource> controls;
};

// An icon made of several images of different sizes (Qt resource paths).
struct IconResource {
    UINT id;
    std::span<const char* const> imagePaths;
};

// The version record: what the framework tells about the program's version (Qt's
// application version, as "--version"-style tools and the desktop read it).
struct VersionResource {
    const char* fileVersionText; // "0.16"
};

struct ResourceTables {
    std::span<const StringResource> strings;
    std::span<const MenuResource> menus;
    std::span<const AcceleratorTableResource> accelerators;
    std::span<const DialogResource> dialogs;
    std::span<const IconResource> icons;
    const VersionResource* version;
};

// Makes tables the program's resources. They must outlive the application.
void AfxSetResourceTables(const ResourceTables& tables);
const ResourceTables& AfxGetResourceTables();

// The string with this identifier, or nullptr where the table has none.
const char* AfxFindString(UINT id);
// The string with this identifier, or an empty string.
std::string AfxLoadString(UINT id);
// The part of a string before its first line break: a command's status-bar prompt, or a
// document string's window title.
std::string AfxFirstLine(const std::string& text);

const MenuResource* AfxFindMenu(UINT id);
const AcceleratorTableResource* AfxFindAccelerators(UINT id);
const DialogResource* AfxFindDialog(UINT id);
// The icon with this identifier, all its images; a null icon where the table has none.
QIcon AfxLoadIcon(UINT id);
