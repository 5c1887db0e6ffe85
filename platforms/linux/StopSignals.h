#pragma once
// The requests to end this process that arrive as signals (SIGINT, SIGTERM, SIGHUP, SIGQUIT):
// held while a run is under way, and SIGPIPE ignored then, so a closed output pipe cannot end
// it either. The job-control stops cannot stop a run half-way: SIGTSTP is held and the process
// suspends once the run has ended; SIGTTIN and SIGTTOU are ignored during the run, so a
// background copy's writes to the terminal go on and its reads fail instead. A signal the process
// was started to ignore stays ignored; outside a run every signal does what it did before.

namespace zelfin::linuxos {

void HoldStopSignals();
// An end request was held (a held suspend is not one: the program goes on after it).
bool StopSignalHeld();
// Puts back the dispositions HoldStopSignals found. A request to end that was held is not
// raised again: the caller ends the program once the run has ended. A held suspend is, unless
// an end request came too.
void ReleaseStopSignals();

} // namespace zelfin::linuxos
