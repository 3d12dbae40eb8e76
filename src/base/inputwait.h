// The wait for a line of input while the window is kept answering: the
// prompt, the animation's "Press enter" and a script's pull all wait here.
#pragma once

#include <csignal>
#include <functional>

enum class inputwake { input, signal };

// What the window adds to the wait, registered by the program at start-up
// (the window lives in a layer above this one).  conn gives the
// descriptor of the window's server connection, -1 when no window is
// open; idle answers what the window got (a redraw after an expose or a
// size change) and ends the program when the window has been closed.
void omsetwaitwindow(int (*conn)(), void (*idle)());

// The signals held back while the wait looks at pending() and answered
// before input is read (the interrupt alone unless the program registers
// more: those that end the session).
void omsetwaitsignals(const sigset_t& set);

// Waits until descriptor fd has something to read, or a signal arrives.
// pending() tells whether a signal has been taken but not yet dealt with;
// it is asked with the interrupt blocked, so that one arriving just before
// the wait cannot be slept through.  Meanwhile the window's events are
// answered as they come.
inputwake omwaitinput(int fd, const std::function<bool()>& pending);

// Whether a line is being waited for: output that ends the program
// meanwhile starts on a line of its own, after the prompt's.
bool omwaitingline();
