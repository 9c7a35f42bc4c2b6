// ConfineToParsing applies its four steps in the order of Confinement.h; each step is a
// function below, in that order, and reports whether the kernel took it.

#include "platform/Confinement.h"

#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace {

bool ForbidNewPrivileges();
bool LimitProcessorTime(std::uint32_t seconds);
int DenyFileSystem(int inputFile);
bool FilterSystemCalls(int outputDescriptor);

} // namespace

ConfinementReport ConfineToParsing(const ConfinementScope& scope) {
    ConfinementReport report;
    report.noNewPrivileges = ForbidNewPrivileges();
    report.processorLimit = LimitProcessorTime(scope.processorSeconds);
    // Both filters need the privilege flag (an unprivileged process may only install them
    // once it can no longer gain privileges).
    if (report.noNewPrivileges) {
        report.landlockAbi = DenyFileSystem(scope.inputFile);
        report.seccompFilter = kSeccompInThisBuild && FilterSystemCalls(scope.outputDescriptor);
    }
    return report;
}

namespace {

bool ForbidNewPrivileges() {
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

// The soft limit sends SIGXCPU, which ends the process; the hard limit a second later sends
// SIGKILL, should the process have been made to ignore the first. A hard limit already lower
// stays: it cannot be raised.
bool LimitProcessorTime(std::uint32_t seconds) {
    rlimit limit{};
    if (getrlimit(RLIMIT_CPU, &limit) != 0) {
        return false;
    }
    const rlim_t hard = seconds + rlim_t{1};
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > hard) {
        limit.rlim_max = hard;
    }
    limit.rlim_cur = seconds < limit.rlim_max ? seconds : limit.rlim_max;
    return setrlimit(RLIMIT_CPU, &limit) == 0;
}

// Landlock's interface, defined here rather than taken from <linux/landlock.h>: the headers
// of an older system stop before the rights that a newer kernel knows. The system call
// numbers are the same on every architecture.
constexpr long kLandlockCreateRuleset = 444;
constexpr long kLandlockAddRule = 445;
constexpr long kLandlockRestrictSelf = 446;
constexpr unsigned kCreateRulesetVersion = 1U << 0;
constexpr int kRulePathBeneath = 1;

struct LandlockRulesetAttributes {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet; // from version 4
    std::uint64_t scoped;           // from version 6
};

struct __attribute__((packed)) LandlockPathBeneathAttributes {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
};

constexpr std::uint64_t kAccessFsReadFile = 1ULL << 2;

// The file-system rights each version added: execute, write, read, read a directory,
// remove a directory or file, make a device, directory, file, socket, FIFO or link (1);
// link or rename into another directory (2); truncate (3); device ioctls (5).
std::uint64_t FileSystemRights(int abi) {
    std::uint64_t rights = abi >= 1 ? (1ULL << 13) - 1 : 0;
    rights |= abi >= 2 ? 1ULL << 13 : 0;
    rights |= abi >= 3 ? 1ULL << 14 : 0;
    rights |= abi >= 5 ? 1ULL << 15 : 0;
    return rights;
}

// Binding and connecting TCP sockets (4), connecting to abstract Unix sockets of processes
// outside the confinement and signalling them (6).
LandlockRulesetAttributes HandledRights(int abi) {
    return {FileSystemRights(abi), abi >= 4 ? 3ULL : 0, abi >= 6 ? 3ULL : 0};
}

// The size of the attributes the kernel of version abi reads: older kernels refuse fields
// they do not know unless they are zero, and zero they are, so the whole structure would
// do; the exact size keeps to what each version documents.
std::size_t RulesetAttributesSize(int abi) {
    if (abi >= 6) {
        return sizeof(LandlockRulesetAttributes);
    }
    return abi >= 4 ? offsetof(LandlockRulesetAttributes, scoped)
                    : offsetof(LandlockRulesetAttributes, handledAccessNet);
}

// Denies every right the kernel's Landlock version knows, but reading inputFile (when it is
// 0 or more). Returns the version applied, 0 when the kernel has no Landlock.
int DenyFileSystem(int inputFile) {
    const long abi = syscall(kLandlockCreateRuleset, nullptr, 0, kCreateRulesetVersion);
    if (abi <= 0) {
        return 0;
    }
    const LandlockRulesetAttributes rights = HandledRights(static_cast<int>(abi));
    const long ruleset =
        syscall(kLandlockCreateRuleset, &rights, RulesetAttributesSize(static_cast<int>(abi)), 0U);
    if (ruleset < 0) {
        return 0;
    }
    const int rulesetFd = static_cast<int>(ruleset);
    if (inputFile >= 0) {
        // A rule on the file itself grants that file alone. Should the kernel refuse it, the
        // file stays closed to a new open like every other: the safe way to fail.
        const LandlockPathBeneathAttributes input{kAccessFsReadFile, inputFile};
        syscall(kLandlockAddRule, rulesetFd, kRulePathBeneath, &input, 0U);
    }
    const bool restricted = syscall(kLandlockRestrictSelf, rulesetFd, 0U) == 0;
    close(rulesetFd);
    return restricted ? static_cast<int>(abi) : 0;
}

// The system calls a parse makes with any arguments: reading, closing and describing the
// input, managing memory, waiting on and signalling its own threads, the time, and ending.
// Found by running the reader under strace over every kind of file.
constexpr int kAllowedCalls[] = {
    SCMP_SYS(read),
    SCMP_SYS(pread64),
    SCMP_SYS(close),
    SCMP_SYS(fstat),
    SCMP_SYS(newfstatat),
    SCMP_SYS(munmap),
    SCMP_SYS(mremap),
    SCMP_SYS(madvise),
    SCMP_SYS(brk),
    SCMP_SYS(futex),
    SCMP_SYS(set_robust_list),
    SCMP_SYS(rseq),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(sched_getaffinity),
    SCMP_SYS(sched_yield),
    SCMP_SYS(getpid),
    SCMP_SYS(gettid),
    SCMP_SYS(clock_gettime),
    SCMP_SYS(clock_getres),
    SCMP_SYS(gettimeofday),
    SCMP_SYS(clock_nanosleep),
    SCMP_SYS(nanosleep),
    SCMP_SYS(restart_syscall),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
};

// The flags with which the C library starts a thread, and those that would make the new
// task anything else: a process of its own, or one in new namespaces.
constexpr std::uint64_t kThreadFlags =
    CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD | CLONE_SYSVSEM;
constexpr std::uint64_t kCheckedCloneFlags =
    kThreadFlags | CLONE_VFORK | CLONE_PARENT | CLONE_PTRACE | CLONE_UNTRACED | CLONE_NEWNS |
    CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET;

// An open for reading only, never creating or truncating (the flags are the third argument
// of openat); Landlock decides which files.
constexpr std::uint64_t kOpenWriteFlags =
    O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND | (O_TMPFILE & ~O_DIRECTORY);

// A condition on argument number index of a call (libseccomp's SCMP_A0 and the like are
// compound literals, which C++ does not have).
scmp_arg_cmp Equal(unsigned index, scmp_datum_t value) {
    return {index, SCMP_CMP_EQ, value, 0};
}
scmp_arg_cmp MaskedEqual(unsigned index, scmp_datum_t mask, scmp_datum_t value) {
    return {index, SCMP_CMP_MASKED_EQ, mask, value};
}

// The calls allowed with some arguments only.
bool AddArgumentRules(scmp_filter_ctx filter, int outputDescriptor) {
    const auto allow = [&](int call, scmp_arg_cmp condition) {
        return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, condition) == 0;
    };
    return allow(SCMP_SYS(write), Equal(0, static_cast<scmp_datum_t>(outputDescriptor))) &&
           allow(SCMP_SYS(openat), MaskedEqual(2, kOpenWriteFlags, O_RDONLY)) &&
           // No memory is made executable: a parse runs no code it did not start with.
           allow(SCMP_SYS(mmap), MaskedEqual(2, PROT_EXEC, 0)) &&
           allow(SCMP_SYS(mprotect), MaskedEqual(2, PROT_EXEC, 0)) &&
           allow(SCMP_SYS(clone), MaskedEqual(0, kCheckedCloneFlags, kThreadFlags)) &&
           // abort() signals its own thread.
           allow(SCMP_SYS(tgkill), Equal(0, static_cast<scmp_datum_t>(getpid()))) &&
           // clone3 passes its flags in memory, which a filter cannot read: told that the
           // kernel lacks it, the C library starts its threads with clone.
           seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
}

// Installs the allow list for the native architecture (a call made through another
// architecture's entry, such as the 32-bit one, kills the process: only an attack does
// that). Every other call fails with EPERM.
bool FilterSystemCalls(int outputDescriptor) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (filter == nullptr) {
        return false;
    }
    bool built = AddArgumentRules(filter, outputDescriptor);
    for (const int call : kAllowedCalls) {
        built = built && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    }
    const bool loaded = built && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

} // namespace
