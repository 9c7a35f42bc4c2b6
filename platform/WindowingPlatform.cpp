#include "platform/WindowingPlatform.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include <xcb/xcb.h>

namespace {

bool IsSet(const char* value) {
    return value != nullptr && value[0] != '\0';
}

// Qt takes "-name" and "--name" alike for its own options.
std::string_view OptionName(const char* argument) {
    std::string_view name(argument);
    if (name.rfind("--", 0) == 0) {
        name.remove_prefix(1);
    }
    return name;
}

} // namespace

WindowingPlatform ChooseWindowingPlatform(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    bool platformArgument = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = OptionName(argv[i]);
        platformArgument = platformArgument || option == "-platform";
        if (option == "-display" && i + 1 < argc) {
            display = argv[i + 1];
        }
    }
    WindowingPlatform chosen{false, IsSet(display) ? display : ""};
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platformArgument) {
        return chosen;
    }
    if (IsSet(platform)) {
        chosen.xcb = std::strncmp(platform, "xcb", 3) == 0;
    } else if (IsSet(std::getenv("WAYLAND_DISPLAY"))) {
        // Without an X display Qt takes the Wayland session's own platform.
        if (!chosen.display.empty()) {
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            chosen.xcb = true;
        }
    } else {
        chosen.xcb = true; // Qt's platform on an X11 session
    }
    return chosen;
}

DisplayProblem ProbeDisplayAtStartUp(const WindowingPlatform& platform) {
    if (!platform.xcb) {
        return DisplayProblem::None;
    }
    if (platform.display.empty()) {
        return DisplayProblem::NotSet;
    }
    xcb_connection_t* connection = xcb_connect(platform.display.c_str(), nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    return failed ? DisplayProblem::CannotOpen : DisplayProblem::None;
}
