// The X11 window driver, for the program's start-up to install with
// gxdsetdrv (gxdrv.h) before the package starts.  Declared apart from the
// driver's own header so the caller needs no X11 headers.
#pragma once

class gxdriver;
gxdriver* gxx11drv();
