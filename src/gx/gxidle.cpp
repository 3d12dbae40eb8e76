// The window between commands, and its end by the window manager.
//
// Between commands nothing draws, so nothing else reads the window's
// events: the prompt's wait calls gxdidle when the connection has
// something, so that an uncovered or resized window does not stay black
// until the next command.
//
// The window manager's close button asks the program (WM_DELETE_WINDOW)
// instead of killing its connection; a window destroyed by another client
// reports DestroyNotify.  Either way there is no window any more, and no
// way back to one, so the program ends as it does when the connection is
// lost, with its metafile finished.
#include <X11/Xatom.h>

#include <cstdio>
#include <cstdlib>

#include "base/ending.h"
#include "base/inputwait.h"
#include "base/outflush.h"
#include "gx/gx.h"
#include "gx/gxx11.h"

namespace {

Atom protocols = None;
Atom deletewin = None;

}  // namespace

bool gxdgone(const XEvent& e) {
  x11state& s = x11st();
  if (e.type == DestroyNotify) return e.xdestroywindow.window == s.win;
  if (e.type == ClientMessage) {
    return e.xclient.window == s.win && e.xclient.message_type == protocols &&
           e.xclient.format == 32 && (Atom)e.xclient.data.l[0] == deletewin;
  }
  return false;
}

void gxdwmproto() {
  x11state& s = x11st();
  protocols = XInternAtom(s.display, "WM_PROTOCOLS", False);
  deletewin = XInternAtom(s.display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(s.display, s.win, &deletewin, 1);
}

void gxdwmcheck() {
  x11state& s = x11st();
  if (!s.display) return;
  // Client messages match no event mask: the readers by mask never take
  // them, so they are looked for here by type.  The window destroyed by
  // another client is looked for by type too: a wait whose mask lacks
  // the structure events (the release of a button) must end on it as well.
  XEvent e;
  for (int type : {ClientMessage, DestroyNotify}) {
    while (XCheckTypedWindowEvent(s.display, s.win, type, &e)) {
      if (gxdgone(e)) gxdclosed();
    }
  }
}

int gxdconn() {
  x11state& s = x11st();
  return s.display && !s.batch ? ConnectionNumber(s.display) : -1;
}

namespace {

// One look at the window's queued events, and the redraw they ask for;
// 1 when the window is gone.
int idlepass(bool* drawn) {
  x11state& s = x11st();
  *drawn = false;
  XEventsQueued(s.display, QueuedAfterReading);
  XEvent e;
  while (XCheckTypedWindowEvent(s.display, s.win, ClientMessage, &e)) {
    if (gxdgone(e)) return 1;
  }
  bool redo = false;
  while (XCheckWindowEvent(s.display, s.win, ExposureMask | StructureNotifyMask, &e)) {
    if (gxdgone(e)) return 1;
    if (e.type == ConfigureNotify) {
      if (gxdresized(e)) redo = true;
    } else if (e.type == Expose) {
      // An expose the program caused itself (a menu taken down over
      // restored contents) is expected and needs nothing.
      if (s.excnt > 0) s.excnt--;
      else redo = true;
    }
  }
  if (redo) {
    gxdsfn();
    gxdrdw();
  }
  XFlush(s.display);
  *drawn = redo;
  return 0;
}

}  // namespace

int gxdidle() {
  x11state& s = x11st();
  if (!s.display || s.batch) return 0;
  // A redraw sends many requests, and while Xlib waits to send them it
  // reads what the server sends meanwhile into its queue: a resize or an
  // expose that came during the redraw is then no longer on the
  // connection, and the prompt's wait would not wake for it.  So the queue
  // is looked at again after every redraw, until one look finds nothing.
  bool redo;
  do {
    int rc = idlepass(&redo);
    if (rc) return rc;
  } while (redo);
  return 0;
}

void gxdendline() {
  // A line was being typed after a prompt: the closing lines must not run
  // on after it.
  if (omwaitingline()) fputc('\n', stdout);
}

void gxdclosed() {
  gxdendline();
  printf("The window was closed; Ombra ends.\n");
  omleave(1);
}
