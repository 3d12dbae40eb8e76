// The readers behind variable references: grids through the grid reader,
// station lists through the station reader.
#pragma once

struct gridres;
struct stnlist;

// 0 read, above 0 failed (messages printed), below 0 read with a warning.
int omvread(gridres* pgr);

// 0 read, 1 failed.
int omvstn(stnlist* stn);
