// Inner controls of the message capture, for the exec command and tests.
#pragma once

// Switches capture on (1) or off (0); returns the previous setting.
int omcapture(int on);

// Test hook: the next n allocations made by the capture fail.
void omprnt_failallocs(int n);
