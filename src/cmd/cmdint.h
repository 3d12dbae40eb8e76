// Handlers that the dispatcher runs itself, and its inner controls.
#pragma once

struct cmnstate;

// The shell escape: the text after "!" goes to the system shell.
void omshell(const char* text);
// reset (reinit 0) and reinit (reinit 1).
int omrset(cmnstate* pcm, int reinit);
// screen save|show|free n
int omscrn(const char* com, cmnstate* pcm);
// clear [option]
int omclr(const char* com, cmnstate* pcm, int exflg);
// swap
int omswap(cmnstate* pcm);
// outxwd file
int omoutx(const char* com, const char* typed, cmnstate* pcm);
// run (implied 0: text after the word run; implied 1: the whole line).
int omrun(const char* typed, cmnstate* pcm, int implied);
// Re-arms the grid reader's one-time notice before every command.
void omiomg_rearm();

// A grid position held in 64 bits: NaN gives 0, and values beyond 4e18
// either way are saturated, so counts and steps computed from a user's
// far-off world coordinates cannot overflow.
long long gridll(double g);

// Deepest nesting of exec files.
constexpr int OMEXEC_MAXDEPTH = 32;
