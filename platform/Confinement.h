#pragma once

// Confining a process that parses a file nobody vouches for, so that it can do nothing but
// read that file and write its answer: a mistake in the parser then hands an attacker a
// process that cannot open, create or run anything, reach the network or another process,
// or keep the processor busy for long.
//
// The confinement is one-way and covers the whole process, every thread it has and will
// have. It is applied in this order:
//   1. no new privileges (PR_SET_NO_NEW_PRIVS): an exec could never gain any, and the
//      filters below need it;
//   2. a limit on processor time (RLIMIT_CPU), with no limit on address space: the sample
//      arrays are large reservations that a parse only touches sparsely;
//   3. Landlock: every file-system right the running kernel knows is denied, except reading
//      the one input file (its inode, whatever path reaches it); where the kernel knows
//      them, TCP bind and connect, abstract Unix sockets and signals to other processes;
//   4. seccomp: an allow list of the system calls a parse makes, for the running
//      architecture alone; every other call fails with EPERM, so a mistake shows as a clean
//      error rather than a killed process.
// A kernel that lacks a step (Landlock before Linux 5.13, or switched off; seccomp switched
// off) leaves that step out, and the report says what was applied.

#include <cstdint>

// What ConfineToParsing applied.
struct ConfinementReport {
    bool noNewPrivileges{};
    int landlockAbi{}; // the kernel's Landlock version whose rights were denied; 0: none
    bool seccompFilter{};
    bool processorLimit{};
};

// The descriptors the confined process keeps using.
struct ConfinementScope {
    int inputFile{-1};        // the file the parse reads: it may be opened again for reading
    int outputDescriptor{-1}; // the only descriptor that may be written to (a pipe)
    std::uint32_t processorSeconds{60}; // SIGXCPU after this much processor time, SIGKILL 1 s on
};

// Sanitizer builds skip the seccomp filter: their run-time library makes system calls a
// parse never makes (sigaltstack, its own mappings, ptrace for the leak check, writes of its
// reports to standard error), and a report it cannot write is lost. Landlock and the rest
// still apply there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSeccompInThisBuild = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
inline constexpr bool kSeccompInThisBuild = false;
#else
inline constexpr bool kSeccompInThisBuild = true;
#endif
#else
inline constexpr bool kSeccompInThisBuild = true;
#endif

// Confines the calling process for good, as the comment at the top says. Call it while the
// process has one thread: the privilege flag, Landlock and seccomp bind the calling thread
// and every thread and process it starts afterwards, not threads that already run.
ConfinementReport ConfineToParsing(const ConfinementScope& scope);
