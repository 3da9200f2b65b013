#pragma once
// Temporary files that must not outlive the process, and ending cleanly on SIGINT, SIGTERM and SIGHUP.
//
// Every temporary file the library makes (page-store spill files, print spool files, outputs written
// under a temporary name) is registered here while it exists; TFileRemover does so by itself. A
// command-line program installs the termination handlers, which remove the registered files and then
// let the signal end the process as it would have; an event-loop program instead turns the signals
// into a notification (TerminationSignalFd) and ends its loop normally, so destructors remove what
// they own.

#include <string>

namespace pagimo {

// Registers path for removal on a terminating signal. Fixed room (a few hundred files at once):
// beyond it a file is simply not registered and is still removed by its owner.
void RegisterTemporary(const std::string& path);
// Forgets path (its owner removed it or kept it as a real file).
void UnregisterTemporary(const std::string& path);
// Removes every registered file; async-signal-safe.
void RemoveTemporaries() noexcept;

// For programs without an event loop: on SIGINT, SIGTERM or SIGHUP the registered files are removed
// and the signal is raised again with its default action, so the process ends as signalled.
void InstallTerminationCleanup();

// For long work that should end through its own path: the first SIGINT, SIGTERM or SIGHUP only marks
// the request (TerminationRequested), which the work polls; a second one ends the process as
// InstallTerminationCleanup does. The handlers are those of InstallTerminationCleanup again once
// the work is done (call InstallTerminationCleanup).
void InstallTerminationRequest();
// The signal that asked the work to end, 0 when none did.
int TerminationRequested() noexcept;

// For programs with an event loop: the three signals are written (one byte, the signal number) to a
// pipe whose read end this returns; the program watches it and ends its loop. The registered files
// are removed at once as well, in case the loop never returns. Returns -1 when no pipe can be made.
int TerminationSignalFd();

} // namespace pagimo
