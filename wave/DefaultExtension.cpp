#include "wave/DefaultExtension.h"

#include <sys/stat.h>

bool TakesDefaultExtension(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    const std::string::size_type nameStart = slash == std::string::npos ? 0 : slash + 1;
    return nameStart < path.size() && path.find('.', nameStart) == std::string::npos;
}

// A path names an existing file when stat(2) describes what it names (a link is followed, so
// a dangling link names none); a path that cannot be described, for whatever reason, names
// none.
std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    struct stat status {};
    if (extension.empty() || !TakesDefaultExtension(path) || stat(path.c_str(), &status) == 0) {
        return path;
    }
    return path + "." + extension;
}
