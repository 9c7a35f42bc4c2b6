#pragma once

#include <cstdlib>
#include <memory>

// A reply or event that xcb hands over: the caller owns it and frees it with free().
struct XcbFreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFreeDeleter>;
