// set defval name i j value: changes one value of a defined variable.
#include "cmd/omset.h"
#include "cmd/outint.h"

int omsetdefv(const setcall& c) { return omqdef(c.word, c.pcm, 1); }
