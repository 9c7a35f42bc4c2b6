#pragma once

#include <string>

// The windowing platform Qt is going to run on, as far as the program can tell before Qt
// starts.
struct WindowingPlatform {
    // Qt will use its xcb platform. False where it will use another, or where the user
    // chose one with a -platform argument.
    bool xcb{};
    // The X display Qt opens on xcb: the -display argument, else DISPLAY; "" for none.
    std::string display;
};

// Chooses the platform, before Qt starts, and says which it is. On a Wayland session that
// also offers an X display the program runs on xcb (through XWayland): it finds and raises
// its running copy through X11. The user's own choice (QT_QPA_PLATFORM or -platform) wins.
WindowingPlatform ChooseWindowingPlatform(int argc, char** argv);

enum class DisplayProblem {
    None,
    NotSet,     // xcb with no display named
    CannotOpen, // the display refuses the connection, or does not exist
};

// Whether Qt can open its X display: on xcb, Qt alone would abort where it cannot.
DisplayProblem ProbeDisplayAtStartUp(const WindowingPlatform& platform);
