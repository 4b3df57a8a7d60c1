// The signals whose default action ends the program and that only ever come
// from outside it (a user, another program, a resource limit): a flash holds
// them, and the terminal window gives the terminal back on each. Those that
// report a fault of the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGTRAP, SIGSYS; SIGABRT from abort()) are not here, nor SIGKILL, which no
// one can catch. The real-time signals, numbered only at run time
// (SIGRTMIN..SIGRTMAX), belong with them.
#pragma once

#include <csignal>

inline constexpr int kSignalsSentToEnd[] = {
    SIGINT,    SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGUSR1, SIGUSR2,
    SIGALRM,   SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};
