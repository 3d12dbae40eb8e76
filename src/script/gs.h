// The script language: entry point used by the command interpreter.
#pragma once

#include <optional>
#include <string>

// Runs a script.  cmdline holds the script name followed by its argument
// string.  mode is 0 for the run command and 1 for an implied run (a command
// word that is no command).  *rc receives 0 after a normal end, 4 after
// exit, 99 after an error, -1 when a command of the script asked to quit and
// 1 when the script could not be found or loaded.  Returns the string the
// script returned, or nullopt when it returned none.
std::optional<std::string> gsfile(const char* cmdline, int* rc, int mode);
