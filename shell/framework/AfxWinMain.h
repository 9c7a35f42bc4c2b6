#pragma once

struct ResourceTables;

// The framework's entry point: makes the Qt application, hands the program's resources
// to the framework and runs the one application object: InitInstance, then the message
// loop if it returned TRUE. Returns the process's exit status.
int AfxWinMain(int argc, char** argv, const ResourceTables& resources);

// On a Wayland session that also offers an X display, chooses the xcb platform (through
// XWayland), unless the user chose a platform with QT_QPA_PLATFORM. The program finds
// and raises its running copy through X11.
void AfxChooseWindowingPlatform();
