#!/usr/bin/env python3
"""The program at a terminal with a window, driven as a person would.

Starts a private Xvfb, runs ombra on a pseudo-terminal, types commands, and
acts on the window from a second X client (through libX11 with ctypes): the
window is uncovered and resized while the prompt waits, Ctrl-C is pressed
at the prompt, and the window manager's close ends the session, as the
loss of the X server ends a second one; each gives the terminal back with
bracketed paste off.

Usage: window_session.py OMBRA SHAREDIR.  Exit status 0 passed, 1 failed,
77 skipped (no Xvfb or libX11).
"""
import ctypes
import ctypes.util
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import killguard  # noqa: F401  (os.kill refuses a pid of 0 or less)

SKIP = 77
# The whole test ends within this many seconds, below the test runner's
# own limit: a redraw that never comes fails the checks left, rather than
# the runner killing the test with nothing said.
LIMIT = 70
DEADLINE = time.time() + LIMIT
MAGENTA = 0xF00082  # colour 6: the shading band of the equator
BLACK = 0


class Xlib:
    """The few libX11 calls the test needs, on a display of its own."""

    def __init__(self, name):
        x = ctypes.CDLL(ctypes.util.find_library("X11"))
        vp, ul, i, ui = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
        x.XOpenDisplay.restype = vp
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ul
        x.XDefaultRootWindow.argtypes = [vp]
        x.XQueryTree.argtypes = [vp, ul, ctypes.POINTER(ul), ctypes.POINTER(ul),
                                 ctypes.POINTER(ctypes.POINTER(ul)), ctypes.POINTER(ui)]
        x.XFetchName.argtypes = [vp, ul, ctypes.POINTER(ctypes.c_char_p)]
        x.XResizeWindow.argtypes = [vp, ul, ui, ui]
        x.XClearArea.argtypes = [vp, ul, i, i, ui, ui, i]
        x.XSync.argtypes = [vp, i]
        x.XGetImage.restype = vp
        x.XGetImage.argtypes = [vp, ul, i, i, ui, ui, ul, i]
        x.XGetPixel.restype = ul
        x.XGetPixel.argtypes = [vp, i, i]
        x.XInternAtom.restype = ul
        x.XInternAtom.argtypes = [vp, ctypes.c_char_p, i]
        x.XSendEvent.argtypes = [vp, ul, i, ctypes.c_long, vp]
        x.XGetWindowProperty.argtypes = [vp, ul, ul, ctypes.c_long, ctypes.c_long, i, ul,
                                         ctypes.POINTER(ul), ctypes.POINTER(i), ctypes.POINTER(ul),
                                         ctypes.POINTER(ul), ctypes.POINTER(vp)]
        x.XFree.argtypes = [vp]
        x.XCloseDisplay.argtypes = [vp]
        # Xlib's own handler would end this process at an error (a window
        # already gone), leaving the server behind: errors are only noted.
        self.errors = []
        handler = ctypes.CFUNCTYPE(i, vp, vp)
        self.onerror = handler(lambda d, e: self.errors.append(1) or 0)
        x.XSetErrorHandler.argtypes = [handler]
        x.XSetErrorHandler(self.onerror)
        self.x = x
        self.d = x.XOpenDisplay(name.encode())

    def window(self, prefix=b"Ombra"):
        x, d = self.x, self.d
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        kids = ctypes.POINTER(ctypes.c_ulong)()
        n = ctypes.c_uint()
        x.XQueryTree(d, x.XDefaultRootWindow(d), ctypes.byref(root), ctypes.byref(parent),
                     ctypes.byref(kids), ctypes.byref(n))
        for k in range(n.value):
            name = ctypes.c_char_p()
            if x.XFetchName(d, kids[k], ctypes.byref(name)) and name.value and \
                    name.value.startswith(prefix):
                return kids[k]
        return 0

    def prop(self, win, name):
        """A window property: its bytes (format 8) or its numbers (format
        32); None when the window has none of that name."""
        x, ul = self.x, ctypes.c_ulong
        atom = x.XInternAtom(self.d, name.encode(), 1)
        kind, fmt, n, left, data = ul(), ctypes.c_int(), ul(), ul(), ctypes.c_void_p()
        if not atom or x.XGetWindowProperty(self.d, win, atom, 0, 1024, 0, 0, ctypes.byref(kind),
                                            ctypes.byref(fmt), ctypes.byref(n), ctypes.byref(left),
                                            ctypes.byref(data)) != 0 or not data.value:
            return None
        if fmt.value == 32:  # Xlib hands 32-bit items over as longs
            got = list(ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[:n.value])
        else:
            got = ctypes.string_at(data, n.value)
        x.XFree(data)
        return got

    def pixel(self, win, px, py):
        self.x.XSync(self.d, 0)
        im = self.x.XGetImage(self.d, win, px, py, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        return self.x.XGetPixel(im, 0, 0) & 0xFFFFFF if im else None

    def pixel_within(self, win, px, py, want, secs=60.0):
        # Polled until the redraw has put the colour there: a slow build on
        # a busy machine may take seconds to redraw, and the overall bound
        # only ends a test whose redraw never comes.
        end = min(time.time() + secs, DEADLINE)
        p = self.pixel(win, px, py)
        while p != want and time.time() < end:
            time.sleep(0.05)
            p = self.pixel(win, px, py)
        return p

    def wm_close(self, win):
        # The XClientMessageEvent layout of a 64-bit Xlib.
        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                        ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                        ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("l", ctypes.c_long * 5),
                        ("pad", ctypes.c_long * 12)]
        e = ClientMessage()
        e.type = 33
        e.window = win
        e.message_type = self.x.XInternAtom(self.d, b"WM_PROTOCOLS", 0)
        e.format = 32
        e.l[0] = self.x.XInternAtom(self.d, b"WM_DELETE_WINDOW", 0)
        self.x.XSendEvent(self.d, win, 0, 0, ctypes.byref(e))
        self.x.XSync(self.d, 0)


def start_xvfb():
    r, w = os.pipe()
    xv = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                           "-nolisten", "tcp"], pass_fds=[w],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    num = b""
    end = time.time() + 10
    while not num.endswith(b"\n") and time.time() < end:
        if select.select([r], [], [], 0.2)[0]:
            c = os.read(r, 1)
            if not c:
                break
            num += c
    os.close(r)
    return xv, ":" + num.decode().strip()


class Session:
    def __init__(self, argv, env, cwd):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve(argv[0], argv, env)
        self.out = b""
        self.status = None

    def pump(self, secs):
        end = time.time() + secs
        while time.time() < end:
            if select.select([self.fd], [], [], 0.05)[0]:
                try:
                    self.out += os.read(self.fd, 4096)
                except OSError:
                    return

    def drain(self, secs):
        end = time.time() + secs
        while time.time() < end:
            if select.select([self.fd], [], [], 0.05)[0]:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    return
                if not chunk:
                    return
                self.out += chunk

    def type(self, text, secs=0.8):
        os.write(self.fd, text.encode())
        self.pump(secs)

    def running(self):
        if self.pid is None:
            return False
        done, status = os.waitpid(self.pid, os.WNOHANG)
        if not done:
            return True
        self.pid = None
        self.status = os.WEXITSTATUS(status) if os.WIFEXITED(status) else -1
        return False

    def wait(self, secs):
        """The exit status, or None after killing a program still running."""
        if self.pid is None:
            return self.status
        end = time.time() + secs
        while time.time() < end:
            done, status = os.waitpid(self.pid, os.WNOHANG)
            if done:
                self.pid = None
                self.status = os.WEXITSTATUS(status) if os.WIFEXITED(status) else -1
                # What the program wrote last may still wait in the
                # terminal: read until the terminal reports its end.
                self.drain(2)
                return self.status
            self.pump(0.1)
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        self.pid = None
        self.status = None
        return None

    def text(self):
        # Without the terminal's carriage returns and the editor's
        # bracketed-paste switches (looked at by pasteoff).
        t = self.out.decode(errors="replace").replace("\r", "")
        return t.replace("\x1b[?2004h", "").replace("\x1b[?2004l", "")

    def pasteoff(self):
        """Whether the editor's last bracketed-paste switch turned it off."""
        return self.out.rfind(b"\x1b[?2004l") > self.out.rfind(b"\x1b[?2004h") >= 0


def main():
    ombra, share = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if not shutil.which("Xvfb") or not ctypes.util.find_library("X11"):
        print("skipped: no Xvfb or libX11")
        return SKIP
    xv, disp = start_xvfb()
    work = tempfile.mkdtemp()
    fails = []

    def check(what, got, want):
        if got != want:
            fails.append("%s: got %r, want %r" % (what, got, want))

    session = None
    try:
        # A terminal the editor turns bracketed paste on for.
        env = dict(os.environ, DISPLAY=disp, OMDDIR=share, TERM="xterm")
        session = Session([ombra, "-l", "-g", "550x425+0+0"], env, work)
        session.pump(1.5)
        session.type("enable print out.gm\n")
        session.type("open %s/sample/sample.ctl\n" % share)
        session.type("set gxout shaded\n")
        session.type("d ts\n", 3)
        session.type("print\n")
        x = Xlib(disp)
        win = x.window()
        check("window found", win != 0, True)
        # What window managers and xdotool find the window by.
        check("window class", x.prop(win, "WM_CLASS"), b"ombra\0Ombra\0")
        check("window machine", x.prop(win, "WM_CLIENT_MACHINE"), socket.gethostname().encode())
        check("window process", x.prop(win, "_NET_WM_PID"), [session.pid])
        # 550 x 425: the middle of the plot is on the equator's band.
        check("drawn", x.pixel(win, 275, 212), MAGENTA)

        # Uncovered while the prompt waits, no command typed.
        x.x.XClearArea(x.d, win, 0, 0, 0, 0, 1)
        check("redrawn after expose", x.pixel_within(win, 275, 212, MAGENTA), MAGENTA)
        # Resized: the equator is now at the middle of the larger window.
        x.x.XResizeWindow(x.d, win, 800, 600)
        check("redrawn after resize", x.pixel_within(win, 400, 300, MAGENTA), MAGENTA)
        check("right of the plot", x.pixel_within(win, 790, 300, BLACK), BLACK)
        # Uncovered and at once resized: the resize comes in while the
        # redraw of the uncovering is still being sent, and must be drawn
        # too (the middle of the smaller picture is south of the equator).
        for round in range(3):
            x.x.XResizeWindow(x.d, win, 550, 425)
            check("redrawn smaller %d" % round, x.pixel_within(win, 275, 212, MAGENTA), MAGENTA)
            x.x.XClearArea(x.d, win, 0, 0, 0, 0, 1)
            x.x.XResizeWindow(x.d, win, 800, 600)
            x.x.XSync(x.d, 0)
            check("redrawn after a resize during a redraw %d" % round,
                  x.pixel_within(win, 400, 300, MAGENTA), MAGENTA)
        # Resized one way only: wider (the new strip on the right holds the
        # equator), then taller (the middle moves down to the equator).
        x.x.XResizeWindow(x.d, win, 550, 425)
        check("redrawn smaller", x.pixel_within(win, 275, 212, MAGENTA), MAGENTA)
        x.x.XResizeWindow(x.d, win, 800, 425)
        check("redrawn after a wider window", x.pixel_within(win, 700, 212, MAGENTA), MAGENTA)
        x.x.XResizeWindow(x.d, win, 800, 600)
        check("redrawn after a taller window", x.pixel_within(win, 400, 300, MAGENTA), MAGENTA)

        # Ctrl-C while q pos waits for a click: the answer starts on a line
        # of its own, not after the terminal's ^C.
        session.type("q pos\n")
        session.type("\x03")
        check("q pos interrupted", "^C\nPosition = -999.9 -999.9 -1 -1\n" in session.text(), True)

        # Ctrl-C at the prompt drops the line; twice keeps the session.
        session.type("q ti")
        session.type("\x03")
        session.type("\x03")
        session.type("q xinfo\n")
        # A line joined to the dropped one ("q tiq xinfo") would fail.
        check("session goes on", "Window Width = 800" in session.text(), True)

        if not session.running():
            fails.append("the program ended at the prompt, status %r" % session.status)
            return report(fails, session)
        # The window manager's close ends the program.
        x.wm_close(win)
        status = session.wait(10)
        check("exit status", status, 1)
        t = session.text()
        check("closing line", "\nThe window was closed; Ombra ends.\n" in t, True)
        check("metafile closed", t.rstrip().endswith("Hardcopy output file is closed"), True)
        check("paste off after the close", session.pasteoff(), True)
        with open(os.path.join(work, "out.gm"), "rb") as f:
            meta = f.read()
        check("metafile end", meta[-4:].hex(), "fffefff7")

        # The X server lost while the prompt waits ends the session too.
        session = Session([ombra, "-l", "-g", "550x425+0+0"], env, work)
        while b"om-> " not in session.out and session.running() and time.time() < DEADLINE:
            session.pump(0.1)
        xv.terminate()
        xv.wait()
        status = session.wait(10)
        check("exit status, server lost", status, 1)
        check("closing line, server lost",
              "\nThe connection to the X server was lost; Ombra ends.\n" in session.text(), True)
        check("paste off after the server was lost", session.pasteoff(), True)
    finally:
        if session:
            session.wait(0.1)  # ends it if it is still running
        xv.terminate()
        try:
            xv.wait(10)
        except subprocess.TimeoutExpired:
            xv.kill()
            xv.wait()
        shutil.rmtree(work, ignore_errors=True)
    return report(fails, session)


def report(fails, session):
    if fails:
        print("\n".join(fails))
        if session:
            print("--- session output ---\n" + session.text())
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
