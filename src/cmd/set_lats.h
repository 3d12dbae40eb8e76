// set lats: the LATS output settings and actions.
#pragma once

struct cmnstate;

// kw points at "lats" in the lower-cased command line (double-quoted text
// kept as typed), typed at the same word of the line as typed: file names
// and texts are taken from it.  Returns 0 on success, 1 after its message.
int omsetlats(const char* kw, const char* typed, cmnstate* pcm);
