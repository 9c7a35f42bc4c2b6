#pragma once

struct ResourceTables;

// The framework's entry point: makes the Qt application, hands the program's resources
// to the framework and runs the one application object: InitInstance, then the message
// loop if it returned TRUE. Returns the process's exit status.
int AfxWinMain(int argc, char** argv, const ResourceTables& resources);
