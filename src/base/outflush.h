// Standard output to a file or a pipe is fully buffered (a write per line
// costs several times the printing itself), yet what the program printed
// reaches the file soon, and whole before any ending.
#pragma once

// Makes standard output fully buffered unless it is a terminal (which
// stays line buffered).  Called at start, before anything is printed.
void omoutbuffer();

// Hands on what standard output holds once a few milliseconds have passed
// since it was last handed on; cheap enough for every interrupt poll.
void omoutdue();

// Writes what standard output holds straight to its descriptor, for an
// ending that leaves through _exit from a signal handler (stdio's own
// flush is not safe there).  Output the signal interrupted in the middle
// of stdio's own flush may be written twice; none is lost.
void omoutsigflush();
