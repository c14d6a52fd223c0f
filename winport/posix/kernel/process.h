// Internal: the processes CreateProcessA starts (implemented in process.cpp), and the parts of
// starting one that are checked on their own.
//
// Between the caller and each program it starts stands a keeper: a copy of the caller made
// with clone (no atfork handler runs in it) and an exit signal of 0, that never execs. It
// starts the program with clone(CLONE_VM | CLONE_VFORK) and execve, so a failed exec is
// reported by CreateProcessA itself, then waits for the program and reports its end over a
// socket. Being no SIGCHLD child of the host, the keeper is never reaped by the kernel for
// a host that set SIGCHLD to SIG_IGN, nor by the host's waitpid(-1) (which without __WALL
// waits only for children that signal SIGCHLD), and the host's SIGCHLD handler never runs
// for it; the program is the keeper's child, so none of that reaches the program either.
// One thread of the layer, started with the first process, waits on the keepers' pidfds
// with epoll and reaps each keeper when it exits (so none is left a zombie), then sets the
// futex word the process's handles are waited on by. The keeper shows as
// "lobbykit-keeper" (its command line is still the host's); a program whose host has died
// runs on. A keeper killed from outside leaves its program running, and the handles report
// an end with exit code 1.
#ifndef WINPORT_POSIX_KERNEL_PROCESS_H
#define WINPORT_POSIX_KERNEL_PROCESS_H

#include <string>
#include <vector>

#include <windows.h>

namespace winport {

// The arguments a Windows C runtime gives main() for a command line: words separated by
// spaces and tabs; in the first (the program name) quotes only group and backslashes are
// plain characters; in the others, quotes group, "" inside quotes is a quote, 2n
// backslashes before a quote are n backslashes, 2n+1 are n and a literal quote, and other
// backslashes are plain.
std::vector<std::string> SplitCommandLine(const char* commandLine);

// The program a command line names when CreateProcessA is given no application name: the
// first word (up to the closing quote if it starts with one), else the first of the
// growing runs of words ("a", "a b", ...) that names a file. A name without '/' is looked
// for in the folder of the calling program, the current folder, then each folder of PATH.
// An absolute path, or false with ERROR_FILE_NOT_FOUND.
bool FindProgramOfCommandLine(const char* commandLine, std::string* path);

// The exit code CreateProcessA's handles report for a child that a signal ended (and that
// TerminateProcess did not end): what Windows reports for the matching failure.
DWORD ExitCodeOfSignal(int signal);

// GetExitCodeThread for the thread handle of PROCESS_INFORMATION. False when the handle is
// not one; else the process's code (STILL_ACTIVE while it runs) in *code.
bool ExitCodeOfChildThread(HANDLE thread, DWORD* code);

}  // namespace winport

#endif
