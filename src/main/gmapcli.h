// The stand-alone GRIB index maker (program omgribmap).
#pragma once

// Makes the index of every GRIB descriptor named in the arguments (-0
// ignores forecast times).  Returns the exit status: 0 when every index
// was made with records in it, 1 when some was not, 2 for a usage error.
int gmapcli(int argc, char** argv);
