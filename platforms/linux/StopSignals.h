#pragma once
// The requests to end this process that arrive as signals (SIGINT, SIGTERM, SIGHUP): held while
// a run is under way, and SIGPIPE ignored then, so a closed output pipe cannot end it either.
// Outside a run every signal does what it did before.

namespace zelfin::linuxos {

void HoldStopSignals();
bool StopSignalHeld();
// Puts back the dispositions HoldStopSignals found. A request that was held is not raised
// again: the caller ends the program once the run has ended.
void ReleaseStopSignals();

} // namespace zelfin::linuxos
