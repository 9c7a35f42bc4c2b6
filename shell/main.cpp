#include <cstdio>

#include "platform/WindowingPlatform.h"
#include "shell/VOQ006App.h"

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
    CVOQ006App app(argc, argv);
    return app.Run();
}
