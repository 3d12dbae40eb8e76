// Standard input, output and error as the program's files expect them.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that the program was
// started without (`<&-`, `>&-`, `2>&-`).  Called before anything else is
// opened: the next file opened would take the free number, and a data
// file read as commands, or a metafile written with the prompts, follows.
// False when /dev/null cannot be opened either.
bool omstdfds();
