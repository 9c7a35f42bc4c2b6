#include <cstdio>
#include <string>

#include "platform/XConnectionWatch.h"
#include "resources/ApplicationResources.h"
#include "shell/VOQ006App.h"
#include "shell/framework/AfxWinMain.h"

// The one application object of the process. It lives here, beside the entry point, so
// that tests can link the application's classes and make application objects of their
// own.
CVOQ006App theApp;

int main(int argc, char** argv) {
    // Without an X display Qt would abort; say why instead.
    const std::string problem = XConnectionWatch::DisplayProblem(kProgramName, argc, argv);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    return AfxWinMain(argc, argv, ApplicationResources());
}
