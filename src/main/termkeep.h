// The terminal's settings as the program found them, given back at every
// ending: a session ended by a signal or a crash while the line editor had
// the terminal raw would otherwise leave the user's shell without echo.
#pragma once

// Saves the settings of the terminal on standard input, if it is one, and
// registers the terminal's part of the endings (base/ending.h): at a normal
// end the line editor gives the terminal back if it holds it; a handler
// gives the saved settings back, when the program is the terminal's
// foreground job (a background job leaves the terminal to the program in
// front), and turns bracketed paste off again when the line editor has
// turned it on.
void termsave();

// Tells whether the line editor writes the bracketed-paste switch (set
// before each prompt); it writes to standard output.
void termpaste(bool on);
