// User-defined functions: external programs named in function tables.
#pragma once

// Reads the user-defined function tables (OMUDFT, then "udft" in the data
// directory).  Called once at start-up, before any command.
void omfdef();

// Prints one line per user-defined function (query udft).
void omqufb();
