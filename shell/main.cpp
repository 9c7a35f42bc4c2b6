#include "resources/ApplicationResources.h"
#include "shell/VOQ006App.h"
#include "shell/framework/AfxWinMain.h"

// The one application object of the process. It lives here, beside the entry point, so
// that tests can link the application's classes and make application objects of their
// own.
CVOQ006App theApp;

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv, ApplicationResources());
}
