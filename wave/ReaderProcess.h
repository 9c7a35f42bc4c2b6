#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "wave/BackgroundLoad.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

// A strided load run by the reader program, a process of its own that confines itself
// before it parses (tools/voq006-reader.cpp), for a caller that must stay responsive and
// must not be harmed by the file: the caller follows the load's progress, may cancel it,
// and takes the record rebuilt from the reader's answer once the load has ended. Shaped
// like BackgroundLoad, for which it stands in.
//
// The reader is started at once, with posix_spawn (nothing of the caller's code runs in the
// child), its input and output on /dev/null, its standard error shared, and the write end
// of a pipe as its only other descriptor; a thread of this object's own reads the pipe.
// Cancelling kills the reader (SIGKILL) and the thread reaps it: a reader blocked in a read
// from a disk that stopped answering keeps no thread or descriptor of the caller, as far as
// the disk lets a killed process end. A reader that sends anything malformed is killed at
// once. A reader that dies, ends without a whole answer, ends with a status other than 0 or
// breaks the format gives LoadStatus::ReaderFailed.
//
// The reader dies with the thread that created this object (it asks the kernel for
// SIGKILL when its parent thread ends), so create it on a thread that lives as long as the
// load: the user-interface thread, or main.
//
// When the reader program is missing, the load runs in this process instead, through a
// BackgroundLoad, unconfined; InProcess() says so, for the caller to tell the user.
class ReaderProcess {
public:
    // Starts loading path, keeping the frames a plot of columns columns reads (at most
    // reader_messages::kMostColumns). onEnded is called once, on the load's thread, when the
    // load has ended, however it ended; never once this object is being destroyed. program
    // is the reader program to run. With a defaultExtension, the reader adds it to path as
    // WithDefaultExtension says, so that the existence test waits on the disk there.
    ReaderProcess(std::string path, std::uint32_t columns, std::function<void()> onEnded,
                  const std::string& program = ProgramBesideThisOne(),
                  std::string defaultExtension = {});
    // Cancels the load and waits a moment for the reader to be reaped; a reader that a dead
    // disk keeps from dying is left to the thread, which reaps it when it can and ends.
    ~ReaderProcess();
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    // The reader is killed and the load ends with LoadStatus::Cancelled.
    void Cancel();
    bool Ended() const;
    // How much of the sample data has been read, in whole per cent (0 to 100).
    int PercentRead() const;

    // Once Ended: how the load ended, and the record rebuilt (the new file whole, path
    // included, the default extension with it where the reader added it, when the outcome
    // is Loaded), for the caller to move out.
    LoadOutcome Outcome() const;
    WaveRecord& Record();
    // Once Ended: the path the load opened, the default extension added where the reader
    // added it (the path given when the reader failed or was killed).
    const std::string& Path() const;

    // The load runs in this process, because the reader program is missing.
    bool InProcess() const { return m_inProcess != nullptr; }

    // Where the reader program is installed relative to the running program (the build
    // tree keeps the same layout): ../libexec/voq006/voq006-reader beside bin/.
    static std::string ProgramBesideThisOne();

private:
    struct State;
    void Start(const std::string& program);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
    std::unique_ptr<BackgroundLoad> m_inProcess; // only when the reader program is missing
};
