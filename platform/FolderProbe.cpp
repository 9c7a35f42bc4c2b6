#include "platform/FolderProbe.h"

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <memory>
#include <system_error>
#include <thread>

namespace {

// Whether a question's thread is still waiting for its disk.
std::atomic<bool> g_probeWaiting{false};

} // namespace

bool AnswersAsFolder(const std::string& folder, std::chrono::milliseconds limit) {
    if (g_probeWaiting.exchange(true)) {
        return false;
    }
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> isFolder = answer->get_future();
    try {
        std::thread([answer, folder] {
            struct stat status {};
            answer->set_value(stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
            g_probeWaiting.store(false);
        }).detach();
    } catch (const std::system_error&) {
        g_probeWaiting.store(false);
        return false;
    }
    return isFolder.wait_for(limit) == std::future_status::ready && isFolder.get();
}
