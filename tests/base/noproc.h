// A process without /proc: it is covered by an empty file system in a
// mount namespace of the process's own (ownmounts.h), so that this runs as
// any user and the process, or a program it runs, may still uncover /proc.
#pragma once

#include "base/ownmounts.h"

// False where the system allows no such namespace.
inline bool hide_proc() { return own_mounts() && mount("none", "/proc", "tmpfs", 0, nullptr) == 0; }
