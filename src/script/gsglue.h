// Links from the script language to the command interpreter: the message
// printer, the command capture and the interrupt flag.
#pragma once

#include <string>

// Runs one command line with its messages captured; *rc gets the command's
// result code (-1 for quit).  Tests may replace the runner through
// gssetcmd.
std::string gsdocmd(const char* cmd, int* rc);
using gscmdfn = std::string (*)(const char* cmd, int* rc);
void gssetcmd(gscmdfn fn);

// Nonzero once the user has interrupted.
int gsintr();

// Message at level 0 through the program's message printer.
void gserrmsg(const std::string& text);
