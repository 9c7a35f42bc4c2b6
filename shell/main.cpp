#include <cstdio>

#include "platform/WindowingPlatform.h"
#include "resources/ApplicationResources.h"
#include "shell/VOQ006App.h"
#include "shell/framework/AfxWinMain.h"

// The one application object of the process. It lives here, beside the entry point, so
// that tests can link the application's classes and make application objects of their
// own.
CVOQ006App theApp;

int main(int argc, char** argv) {
    // Chosen before Qt starts, which reads the choice.
    const WindowingPlatform platform = ChooseWindowingPlatform(argc, argv);
    // Without an X display Qt would abort; say why instead.
    switch (ProbeDisplayAtStartUp(platform)) {
    case DisplayProblem::NotSet:
        std::fprintf(stderr, "%s: cannot open the X display: DISPLAY is not set\n", kProgramName);
        return 1;
    case DisplayProblem::CannotOpen:
        std::fprintf(stderr, "%s: cannot open the X display \"%s\"\n", kProgramName,
                     platform.display.c_str());
        return 1;
    case DisplayProblem::None:
        break;
    }
    return AfxWinMain(argc, argv, ApplicationResources());
}
