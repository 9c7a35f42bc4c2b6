#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

// A strided load on a thread of its own, for a caller that must stay responsive while a
// slow disk is read: it follows the load's progress, may cancel it, and takes the loaded
// record once the load has ended. The load fills a record of its own; the caller's record
// changes only when the caller moves this one into it.
class BackgroundLoad {
public:
    // Starts loading path, keeping the frames a plot of columns columns reads; with a
    // defaultExtension, the load's thread first adds it to path as WithDefaultExtension says.
    // onEnded is called once, on the load's thread, when the load has ended, however it
    // ended; never once this object is being destroyed.
    BackgroundLoad(std::string path, std::uint32_t columns, std::function<void()> onEnded,
                   std::string defaultExtension = {});
    // Cancels the load and lets its thread go without waiting for it: a thread that has
    // ended is joined, and one still blocked in a read from a disk that stopped answering
    // ends on its own, touching nothing but what it owns.
    ~BackgroundLoad();
    BackgroundLoad(const BackgroundLoad&) = delete;
    BackgroundLoad& operator=(const BackgroundLoad&) = delete;

    // The load stops before its next block and ends with LoadStatus::Cancelled.
    void Cancel();
    bool Ended() const;
    // How much of the sample data has been read, in whole per cent (0 to 100).
    int PercentRead() const;

    // Once Ended: how the load ended, and the record it filled (the new file whole when
    // the outcome is Loaded), for the caller to move out.
    LoadOutcome Outcome() const;
    WaveRecord& Record();
    // Once Ended: the path the load opened, the default extension added where it was.
    const std::string& Path() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
