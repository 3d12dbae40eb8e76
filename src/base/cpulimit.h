// The warning before the end of the CPU time the user gave the session.
//
// The kernel sends XCPU at the soft CPU limit and KILL at the hard one;
// where they are equal (as `ulimit -t` sets them) KILL comes first and the
// session's XCPU ending would never run.  A timer on the process's own CPU
// time sends XCPU a second before the hard limit instead.  The limits
// themselves are left as the user set them: the programs the session starts
// inherit them, and no timer (a timer is not inherited).  Limits the user
// set apart (a soft limit below the hard one) need no timer: XCPU comes at
// the soft one.
#pragma once

// Arms the timer where the limits call for it; once, at start, after the
// XCPU handler is in place.
void omcpuwarn();
