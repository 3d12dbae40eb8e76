// Waiting at the prompt for the next character of a command line, while
// the window is kept answering.
#pragma once

#include <functional>

enum class promptwake { input, signal };

// Hands the window to the shared wait for input (base/inputwait.h), so
// that the animation's "Press enter" and a script's pull look after the
// window as the prompt does.
void promptwindow();

// Waits until descriptor fd has something to read, or a signal arrives.
// pending() tells whether a signal has been taken but not yet dealt with;
// it is asked with the interrupt blocked, so that one arriving just before
// the wait cannot be slept through.  Meanwhile the window's events are
// answered: an uncovered or resized window is redrawn at once, and a
// window closed by the window manager ends the program.
promptwake promptwait(int fd, const std::function<bool()>& pending);

// As the first process of a PID namespace, the parent of every process
// orphaned there (a shell escape's `cmd &`), reaps those that ended: before
// each prompt, and while it waits (the end of one wakes the wait).  Else,
// and always, the helper that opens self-describing files, if it ended.
void reaporphans();
