// Ctrl-C and SIGTERM during a capture: the first one asks the capture to stop at
// its next frame and remove what it wrote; a second one ends the process at once.
#pragma once

void InstallStopSignals();
void RemoveStopSignals();
// The signal that asked to stop, or 0.
int StopSignal();
