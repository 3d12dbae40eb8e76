#include "expr/udf.h"

void omfdef() {}
void omqufb() {}
