// The terminal's settings as the program found them, given back at every
// ending: a session ended by a signal while the line editor had the
// terminal raw would otherwise leave the user's shell without echo.
#pragma once

// Saves the settings of the terminal on standard input, if it is one.
void termsave();

// Gives the saved settings back, when the program is the terminal's
// foreground job (a background job leaves the terminal to the program in
// front), and turns bracketed paste off again when the line editor has
// turned it on.  Only async-signal-safe calls: the endings run it in their
// signal handlers.
void termrestore();

// Tells whether the line editor writes the bracketed-paste switch, and to
// which descriptor (set before each prompt).
void termpaste(bool on, int fd);
