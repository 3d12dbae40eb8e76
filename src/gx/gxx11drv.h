// The X11 window driver, for the program's start-up to install with
// gxdsetdrv (gxdrv.h) before the package starts.  Declared apart from the
// driver's own header so the caller needs no X11 headers.
#pragma once

class gxdriver;
gxdriver* gxx11drv();

// For the wait at the prompt (gxidle.cpp).  The descriptor of the window's
// server connection, -1 when no window is open.
int gxdconn();
// Answers what the window got while the program waits for a command:
// after an expose or a size change the window is redrawn from the display
// list.  Other events stay queued for the commands that ask for them.
// Returns 1 when the window manager closed the window (or it was
// destroyed); the caller then ends the program with gxdclosed.
int gxdidle();
// Ends the program because the window is gone, as a lost server
// connection does: the metafile finished, a line saying so, status 1.
[[noreturn]] void gxdclosed();
