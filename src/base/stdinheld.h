// Whether standard input can be read without waiting on its descriptor.
#pragma once

// True when stdio already holds characters of standard input (read ahead
// into its buffer, or given back with ungetc): a wait on the descriptor
// would not see them and could sleep with a line at hand.
bool stdinheld();
