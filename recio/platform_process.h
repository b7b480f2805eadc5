// The processes, pipes and signals of a program that runs its work in several processes.
#pragma once

#include <cstdint>
#include <span>

namespace recio::platform {

/// The number of processors this process may run on; at least 1.
int ProcessorCount();

/// Whether `handle` is a terminal.
bool IsTerminal(int handle);

/// Makes a pipe, both ends closed in programs started later; false when none can be made.
bool MakePipe(int (&handles)[2]);

/// Starts a copy of this process: returns 0 in the copy, the copy's id in the original, or -1.
int StartCopy();

/// In a copy: asks to be sent the terminate signal when the original ends, however it ends.
void EndWithOriginal();

/// Sends the terminate signal to process `id`.
void TerminateProcess(int id);

/// Waits until every copy this process started has ended.
void WaitForCopies();

/// Runs `handler` with the signal's number on an interrupt, terminate or hangup signal; a signal
/// that was ignored when the program started (nohup, a background job) stays ignored.
void OnTerminationSignals(void (*handler)(int));

/// Holds back the interrupt, terminate and hangup signals until UnblockTerminationSignals (or a
/// WaitForInput); copies started meanwhile begin with them held back too.
void BlockTerminationSignals();
void UnblockTerminationSignals();

/// Lets a termination signal that is being held back through now (its handler runs); false when
/// none was.
bool TakeHeldBackSignal();

/// Ends the process by `signal` as if it had not been caught.
[[noreturn]] void EndBySignal(int signal);

/// Waits until one of `handles` has something to read or has ended, and marks those in `ready`.
/// The termination signals are let through during the wait only, so that one held back before it
/// interrupts it at once. False when a signal interrupted the wait.
bool WaitForInput(std::span<const int> handles, std::span<char> ready);

}  // namespace recio::platform
