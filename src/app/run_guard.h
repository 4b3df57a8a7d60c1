// While a flash or a build runs, nothing from outside the program may end or
// stop it half way: not the terminal closing, not a kill or a shutdown, not
// Ctrl-C, Ctrl-\ or Ctrl-Z. Such requests are held while a guard lives and
// acted on when it ends, so the drive never sees a sequence cut short.
//
// The hold is the whole process's, whichever front-end shows the window.
// POSIX: every signal whose default action ends the program (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGALRM, the real-time ones
// and the rest) or stops it (SIGTSTP, SIGTTIN, SIGTTOU) is blocked; a write
// to a vanished reader then fails with EPIPE and a read from a lost terminal
// with EIO, which the front-ends treat as a box nobody can answer. At the
// end the held signals take their normal course: the program ends (or
// stops) there, after any handler a front-end installed has given the
// terminal back. A signal the caller chose to ignore (nohup) stays ignored.
// The signals that report a fault of the program itself (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGTRAP, SIGSYS, and SIGABRT when abort() raises it) are
// not held: the program could not go on past them. Windows: Ctrl-C,
// Ctrl-Break and closing the console are refused while a guard lives.
//
// SIGKILL and SIGSTOP cannot be held by any program.
#pragma once

class RunGuard {
 public:
  RunGuard();
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // Ends the hold; what was held is acted on now (a held request to end the
  // program usually ends it inside this call). False when a request to end
  // came while the guard lived and the program is still running: the caller
  // then starts nothing new and quits. Later calls return the same answer.
  bool End();

 private:
  bool ended_ = false;
  bool mayGoOn_ = true;
};
