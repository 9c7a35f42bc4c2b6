#pragma once

#include <chrono>
#include <string>

// Whether folder is a folder, if the disk says so within limit. The question is asked on a
// thread of its own, so that a disk that stopped answering holds that thread and not the
// caller; while an earlier question still waits for its disk, the answer is no at once, so
// that a dead disk holds one thread at most.
bool AnswersAsFolder(const std::string& folder, std::chrono::milliseconds limit);
