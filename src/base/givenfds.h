// The descriptors the program was started with: a command it runs for the
// user holds these (0-2 and any other the user gave, `ombra 9<file`) and
// no file the program or a library opened since.  They are noted once, as
// the program starts, before anything of its own is opened.
#pragma once

#include <spawn.h>

// Readies the descriptors for a command about to be started: each one the
// program opened since its start, below the highest given, is made
// close-on-exec (the program itself never runs another file that needs
// one), and the actions returned close every number above that one in the
// started command with one call.  The cost is that of the descriptors
// open, not of their numbers.
const posix_spawn_file_actions_t* givenfds_only();
