// Placeholders of the graphic plot kinds whose drawing is not built yet.
// Each is replaced by its real routine when that plot lands.
#include "cmd/cmnstate.h"
#include "cmd/omprnt.h"
#include "plot/plotkinds.h"

namespace {
void pending(const char* what) { omprntf(0, "DISPLAY error:  %s plot not built yet\n", what); }
}  // namespace

void omgrph(cmnstate*, int kind) { pending(kind == 0 ? "line" : kind == 1 ? "bar" : "error bar"); }
void omlfil(cmnstate*) { pending("linefill"); }
void omscat(cmnstate*) { pending("scatter"); }
void omvect(cmnstate*, int barb) { pending(barb ? "barb" : "vector"); }
void ompstn(cmnstate*) { pending("station value"); }
void omfstn(cmnstate*) { pending("find-station"); }
void ompmdl(cmnstate*) { pending("station model"); }
void omsmrk(cmnstate*) { pending("station mark"); }
void omwsym(cmnstate*) { pending("weather symbol"); }
void ompprf(cmnstate*) { pending("station profile"); }
void omtser(cmnstate*) { pending("station time series"); }
