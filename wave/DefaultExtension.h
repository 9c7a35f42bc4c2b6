#pragma once

#include <string>

// The Open dialog's default extension, added to the chosen path where the file is read (in
// the reader process, or by the load in this process) and never on the user-interface
// thread: whether a name names an existing file is a question for the disk, which may not
// answer.

// Whether the name at the end of path may take a default extension: it is not empty and has
// no '.'.
bool TakesDefaultExtension(const std::string& path);

// path, or path + "." + extension when extension is not empty, path's name takes a default
// extension and path names no existing file: an existing "README" stays "README", a new
// "notes" becomes "notes.NULL".
std::string WithDefaultExtension(const std::string& path, const std::string& extension);
