#include "exit_cleanup.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "host_error.h"
#include "host_session.h"
#include "pending_file.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

struct Signal {
    int number;
    const char* name;
    const char* what;
    bool fault;  // raised by the code running, which may be the plug-in's
};

// Windows' C runtime raises only the standard six.
constexpr Signal kSignals[] = {
    {SIGINT, "SIGINT", "interrupted", false},
    {SIGTERM, "SIGTERM", "terminated", false},
    {SIGSEGV, "SIGSEGV", "crashed", true},
    {SIGILL, "SIGILL", "crashed", true},
    {SIGFPE, "SIGFPE", "crashed", true},
    {SIGABRT, "SIGABRT", "aborted", true},
#if !defined(_WIN32)
    {SIGHUP, "SIGHUP", "hung up", false},
    {SIGQUIT, "SIGQUIT", "quit", false},
    {SIGBUS, "SIGBUS", "crashed", true},
    {SIGXFSZ, "SIGXFSZ", "stopped at the file size limit", false},
    {SIGXCPU, "SIGXCPU", "stopped at the CPU time limit", false},
#endif
};

// Set once before any handler runs; isatty is no call for a handler.
bool stderrIsTerminal = false;

// write() alone: stdio is not safe in a signal handler.
void Say(const char* text) {
#if defined(_WIN32)
    (void)!_write(2, text, static_cast<unsigned>(std::strlen(text)));
#else
    (void)!write(2, text, std::strlen(text));
#endif
}

void SayWhatHappened(bool byPlugin, const char* what, const char* name, const char* unwritten) {
    // Over a progress bar or the terminal's echo of ^C.
    if (stderrIsTerminal) Say("\r\033[K");
    Say(byPlugin ? "vsthost: the plug-in " : "vsthost: ");
    Say(what);
    if (name) {
        Say(" (");
        Say(name);
        Say(")");
    }
    if (unwritten) {
        Say("; ");
        Say(unwritten);
        Say(" was not written");
    }
    Say("\n");
}

extern "C" void OnSignal(int number) {
    const char* unwritten = RemoveUnfinishedFiles();
    for (const Signal& signal : kSignals)
        if (signal.number == number)
            SayWhatHappened(signal.fault && HostSession::InPlugin(), signal.what, signal.name, unwritten);
#if defined(_WIN32)
    std::signal(number, SIG_DFL);
#endif
    // The default action is back (SA_RESETHAND on POSIX): the signal, blocked
    // until this handler returns, ends the process as it would have.
    std::raise(number);
}

// Only a plug-in calls exit() while a file is unfinished: vsthost returns from main.
extern "C" void OnExit() {
    const char* unwritten = RemoveUnfinishedFiles();
    if (!unwritten) return;
    SayWhatHappened(true, "ended the process", nullptr, unwritten);
    std::_Exit(static_cast<int>(ExitCode::PluginFailed));
}

}  // namespace

void InstallExitCleanup() {
#if defined(_WIN32)
    stderrIsTerminal = _isatty(2) != 0;
    for (const Signal& signal : kSignals) std::signal(signal.number, OnSignal);
#else
    stderrIsTerminal = isatty(2) != 0;
    // A crash from a stack overflow needs a stack of its own for the handler.
    static char alternateStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigfillset(&action.sa_mask);
    for (const Signal& signal : kSignals) {
        // A signal ignored when vsthost started (nohup) stays ignored.
        struct sigaction previous {};
        if (sigaction(signal.number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signal.number, &action, nullptr);
    }
#endif
    std::atexit(OnExit);
}
