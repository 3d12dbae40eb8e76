// The table of built-in analysis functions, searched in this order.
#include "base/words.h"
#include "expr/omfunc.h"

const funcdef omfuncs[] = {
    {"sqrt", ffsqrt},     {"sin", ffsin},       {"cos", ffcos},       {"tan", fftan},
    {"asin", ffasin},     {"acos", ffacos},     {"exp", ffexp},       {"log", fflog},
    {"log10", fflog10},   {"abs", ffabs},       {"pow", ffpow},       {"ave", ffave},
    {"mag", ffmag},       {"atan2", ffatan},    {"hdivg", ffhdiv},    {"hcurl", ffhcrl},
    {"vint", ffvint},     {"tloop", fftlp},     {"aave", ffaav},      {"scorr", ffscor},
    {"tcorr", fftcor},    {"tmave", fftmav},    {"maskout", ffmask},  {"gr2stn", ffg2s},
    {"tvrh2q", fftv2q},   {"tvrh2t", fftv2t},   {"gint", ffgint},     {"oacres", ffoacr},
    {"oabin", ffoabn},    {"smth9", ffsmth},    {"stnave", ffsave},   {"stnmin", ffsmin},
    {"stnmax", ffsmax},   {"skip", ffskip},     {"const", ffcnst},    {"cdiff", ffcdif},
    {"mean", ffmn},       {"amean", ffamn},     {"sum", ffsum},       {"sumg", ffsumg},
    {"asum", ffasum},     {"asumg", ffasumg},   {"coll2gr", ffclgr},  {"min", ffmin},
    {"max", ffmax},       {"minloc", ffminl},   {"maxloc", ffmaxl},   {"fndlvl", ffflvl},
    {"sregr", ffsreg},    {"tregr", fftreg},    {"regrid", ffregrid}, {"clim", ffclim},
};

const int omfuncnum = sizeof(omfuncs) / sizeof(omfuncs[0]);

omfuncp omfind(const char* name) {
  for (int i = 0; i < omfuncnum; i++)
    if (cmpwrd(name, omfuncs[i].name)) return omfuncs[i].func;
  return nullptr;
}
