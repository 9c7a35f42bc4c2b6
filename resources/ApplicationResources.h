#pragma once

#include <QIcon>
#include <QKeyCombination>
#include <QString>

#include <span>

#include "resources/Resource.h"

struct LoadOutcome;

// The program's user-interface resources as data, each in this one place: the string table,
// the main window's menu and accelerator, the version box's layout, the icon and the
// version. The shell reads them.

// One item of a drop-down menu; a null text is a separator. "&" marks the mnemonic, and a
// tab puts the rest of the text in the shortcut column.
struct MenuItemResource {
    const char* text;
    ResourceId command;
};

struct PopupMenuResource {
    const char* title;
    std::span<const MenuItemResource> items;
};

// A key that gives a command while the main window is active.
struct AcceleratorResource {
    QKeyCombination keys;
    ResourceId command;
};

enum class VersionBoxControlKind { Icon, Text, DefaultButton };

// A control of the version box. Positions and sizes are in dialog units: a horizontal unit
// is a quarter of the box font's average character width, a vertical one an eighth of its
// height, so that the box grows with its font.
struct VersionBoxControl {
    VersionBoxControlKind kind;
    const char* text; // empty for the icon, which is the main window's
    int x, y, width, height;
};

struct VersionBoxLayout {
    const char* caption;
    const char* fontFamily;
    int pointSize;
    int width, height; // dialog units
    std::span<const VersionBoxControl> controls;
};

// The string with this identifier, or an empty one where the table has none.
QString ResourceString(ResourceId id);
// A command's status-bar prompt: the first line of its string.
QString Prompt(ResourceId command);
// The status bar's text while a long load runs, with the per cent of the file's sample data
// read so far.
QString LoadingText(int percent);
// Why a load did not show the file, as the status bar says it in one line: what failed,
// the byte where the check failed where there is one, and name, the file's name as shown.
// Empty for a file that loaded and for a load the user stopped: those say nothing.
QString RejectionText(const LoadOutcome& outcome, const QString& name);

std::span<const PopupMenuResource> MainMenu();
std::span<const AcceleratorResource> MainAccelerators();
const VersionBoxLayout& VersionBox();
// The main window's icon, in 32 x 32 and 16 x 16: the window's, the version box's.
QIcon MainIcon();
// The version as the program shows it: "0.16".
const char* DisplayVersion();
