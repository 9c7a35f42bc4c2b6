#include "wave/BackgroundLoad.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <utility>

#include "wave/DefaultExtension.h"

// What the load's thread and the caller share. The thread holds it too, so that a thread
// left blocked in a read after its caller has gone still has everything it touches.
struct BackgroundLoad::State {
    std::string path;
    std::string defaultExtension;
    std::uint32_t columns{};
    LoadProgress progress;
    WaveRecord record;
    LoadOutcome outcome;
    std::atomic<bool> ended{false};
    std::mutex callbackMutex; // onEnded is either being called or cleared, never both
    std::function<void()> onEnded;

    void Run() {
        path = WithDefaultExtension(path, defaultExtension);
        outcome = LoadWaveFileStrided(record, path, columns, SampleThreads::Automatic, progress);
        ended.store(true, std::memory_order_release);
        const std::lock_guard<std::mutex> lock(callbackMutex);
        if (onEnded) {
            onEnded();
        }
    }
};

BackgroundLoad::BackgroundLoad(std::string path, std::uint32_t columns,
                               std::function<void()> onEnded, std::string defaultExtension)
    : m_state(std::make_shared<State>()) {
    m_state->path = std::move(path);
    m_state->defaultExtension = std::move(defaultExtension);
    m_state->columns = columns;
    m_state->onEnded = std::move(onEnded);
    try {
        m_thread = std::thread([state = m_state] { state->Run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the load runs here, and the caller still hears of its end.
        m_state->Run();
    }
}

BackgroundLoad::~BackgroundLoad() {
    {
        const std::lock_guard<std::mutex> lock(m_state->callbackMutex);
        m_state->onEnded = nullptr;
    }
    Cancel();
    if (!m_thread.joinable()) {
        return;
    }
    if (Ended()) {
        m_thread.join(); // at most the end of a call that found no callback
    } else {
        m_thread.detach();
    }
}

void BackgroundLoad::Cancel() {
    m_state->progress.Cancel();
}

bool BackgroundLoad::Ended() const {
    return m_state->ended.load(std::memory_order_acquire);
}

int BackgroundLoad::PercentRead() const {
    return ::PercentRead(m_state->progress.BytesRead(), m_state->progress.BytesToRead(), Ended());
}

LoadOutcome BackgroundLoad::Outcome() const {
    return m_state->outcome;
}

WaveRecord& BackgroundLoad::Record() {
    return m_state->record;
}

const std::string& BackgroundLoad::Path() const {
    return m_state->path;
}
