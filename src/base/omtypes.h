// Plain types shared by every layer.
#pragma once

// A calendar time to the minute, also used as a time increment (each field
// then a count that may exceed the usual range).
struct datetime {
  int yr;  // full year, e.g. 1990
  int mo;  // 1-12
  int dy;  // 1-31
  int hr;  // 0-23
  int mn;  // 0-59
};

// A grid<->world conversion routine of an axis: (conversion array, value).
typedef double (*omaxisfn)(float*, double);

