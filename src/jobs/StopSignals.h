#pragma once

// A run stopped from outside: SIGINT and SIGTERM ask the running job to stop
// after the file in hand, in yanhe-cli and in a worker alike.
namespace jobs {

// SIGINT and SIGTERM (only SIGINT without terminate) from now on ask the
// running job to stop after the file in hand; a second one ends the process at once.
void catchStopSignals(bool terminate = true);
// The signal that asked to stop, or 0.
int stopSignal();

} // namespace jobs
