#include "shell/framework/AfxWinMain.h"

#include <unistd.h>

#include <string>
#include <vector>

#include <QApplication>

#include "shell/framework/ResourceTables.h"
#include "shell/framework/WinApp.h"

namespace {

// True while the message loop runs.
bool g_messageLoopRuns = false;

// exit() called from inside the message loop (Qt's xcb platform does so when the X
// connection breaks) would go on to the static destructors, the application object's
// among them, and destroy windows under a Qt that can no longer serve them. The process
// ends here instead, with the status exit() was given.
void EndInsideTheMessageLoop(int status, void*) {
    if (g_messageLoopRuns) {
        _exit(status);
    }
}

} // namespace

int AfxWinMain(int argc, char** argv, const ResourceTables& resources) {
    // Registered before anything the program sets up, so that it runs after their exit
    // handlers.
    on_exit(EndInsideTheMessageLoop, nullptr);
    QApplication application(argc, argv);
    AfxSetResourceTables(resources);

    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    // QApplication has taken its own options out of argv.
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    AfxWinInit(arguments);

    int status = 0;
    if (app->InitInstance()) {
        g_messageLoopRuns = true;
        status = app->Run();
        g_messageLoopRuns = false;
    } else {
        status = app->ExitInstance();
    }
    // Windows go before the Qt application does.
    app->CloseAllDocuments();
    return status;
}
