// Links from the script language to the rest of the program: the message
// printer, the interrupt flag and the command runner, which the command
// layer registers at start (the script library cannot call it directly).
#pragma once

#include <string>

// Runs one command line with its messages captured through the registered
// runner; *rc gets the command's result code (-1 for quit).  With no runner
// registered nothing runs: *rc is 1 and the text empty.
std::string gsdocmd(const char* cmd, int* rc);
using gscmdfn = std::string (*)(const char* cmd, int* rc);
void gssetcmd(gscmdfn fn);

// Nonzero once the user has interrupted.
int gsintr();

// Message at level 0 through the program's message printer.
void gserrmsg(const std::string& text);
