#include "shell/framework/AfxWinMain.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>

#include "shell/framework/ResourceTables.h"
#include "shell/framework/WinApp.h"

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

} // namespace

void AfxChooseWindowingPlatform() {
    if (!IsSet("QT_QPA_PLATFORM") && IsSet("WAYLAND_DISPLAY") && IsSet("DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

int AfxWinMain(int argc, char** argv, const ResourceTables& resources) {
    AfxChooseWindowingPlatform();
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
        status = app->Run();
    } else {
        status = app->ExitInstance();
    }
    // Windows go before the Qt application does.
    app->CloseAllDocuments();
    return status;
}
