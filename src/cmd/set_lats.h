// set lats: the LATS output settings and actions.
#pragma once

struct cmnstate;

// kw points at "lats" in the lower-cased command line (double-quoted text
// kept as typed).  Returns 0 on success, 1 after its message.
int omsetlats(const char* kw, cmnstate* pcm);
