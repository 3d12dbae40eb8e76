// The program's own child processes: the command a shell escape or a user
// function runs, and the helper that opens netCDF and HDF files.  Each is
// held here from its start until it is reaped, and only here: a child's
// number names it alone until it is reaped, and a child that leads a
// process group of its own keeps that group's number from changing hands
// as long.  So every signal the program sends a child of its own, and
// every wait for one, goes through its slot: the waiter takes the child
// from the slot before it reaps it, and a signal's ending takes it before
// it signals and reaps it, so that only one of them reaps it and neither
// signals a number that another process may have by then.
//
// A fork of the program holds a copy of the slots that is not its own:
// there they hold nothing.  The calls marked so make only async-signal-safe
// calls.
#pragma once

#include <sys/types.h>

enum childslot { CHILD_COMMAND, CHILD_HELPER, CHILD_SLOTS };

// One child as its slot holds it.
struct childrec {
  pid_t pid = 0;       // 0: none held
  bool group = false;  // it leads a process group of its own, signalled whole
};

// How long an ending lets a command take to end once sent TERM, and a
// child sent KILL to be reaped.
constexpr int kChildGraceMs = 2000;

// Holds a child just started.  Called with every signal blocked: an
// ending that comes as it starts finds it once they are let through.
void childhold(childslot slot, childrec child);

// The child the slot holds.  Async-signal-safe.
childrec childheld(childslot slot);

// Sends sig to the child the slot holds, to its whole group where it
// leads one; false when none is held (or the signal could not be sent).
// Async-signal-safe.
bool childsignal(childslot slot, int sig);

// Whether the held child has ended (or none is held, or it cannot be
// waited for), leaving it unreaped; with wait, waits until it has.  A
// stop of the child, when stopped is given, is taken and handed to
// stopped(the signal that stopped it), and the wait goes on.
bool childended(childslot slot, bool wait, void (*stopped)(int sig) = nullptr);

// Waits for the held child to end, takes it from the slot with the ending
// signals held and reaps it: false when none was held any more (a signal's
// ending took it), else true with its wait status in *status (-1 where it
// could not be waited for).
bool childreap(childslot slot, int* status);

// A signal's ending of the held child, taken from its slot: a group sent
// TERM and CONT, and KILL once the child has ended or kChildGraceMs have
// passed (what ignores TERM, or outlives the child); a child alone sent
// KILL.  The child is reaped when it has ended within kChildGraceMs.
// Async-signal-safe.
void childend(childslot slot);

// As the first process of a PID namespace, the parent of every process
// orphaned there: reaps each child that has ended and that no slot holds.
void childreaporphans();
