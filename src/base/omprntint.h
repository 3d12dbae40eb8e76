// Inner controls of the message capture, for the exec command and tests.
#pragma once

#include <functional>
#include <string>

// Runs fn with its messages captured (the result of fn goes to rc) and
// returns the captured text; an enclosing capture is kept and resumes after.
std::string omcaprun(const std::function<int()>& fn, int* rc);

// Switches capture on (1) or off (0); returns the previous setting.
int omcapture(int on);

// Test hook: the next n allocations made by the capture fail.
void omprnt_failallocs(int n);
