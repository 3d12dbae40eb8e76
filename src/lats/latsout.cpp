// The files of a LATS output: written under part names beside the user's
// names and put in their places when the file is closed (set lats close,
// quit) or the session ends on a signal, so that whatever stood at a name
// stays as it was until the new file is finished, and a create that fails
// leaves it untouched.  The writers keep the part files whole after every
// step, so that an ending signal's handler has only to put them in place,
// with calls a handler may make.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/endhold.h"
#include "base/ending.h"
#include "base/replsig.h"
#include "lats/lats.h"
#include "lats/latsint.h"

namespace {

// What an ending signal's handler puts in place for one open file: its
// files in the order they go, the data first (the descriptor and index
// only follow it).  Changed only with the ending signals held, so that a
// handler never finds it half changed.
struct ending {
  int id = 0;
  int n = 0;
  replsig outs[3];
};
std::vector<ending> endings;

void withdraw(int id) {
  endings.erase(std::remove_if(endings.begin(), endings.end(), [id](const ending& e) { return e.id == id; }),
                endings.end());
}

// A line of replfile's (two blanks first, a line end last) as an error.
void sayline(const std::string& line) {
  size_t from = line.find_first_not_of(' ');
  std::string text = from == std::string::npos ? "" : line.substr(from);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  latsError("LATS (lats) -->  %s", text.c_str());
}

// The parts of one file put in place in their order, by the one rule of
// both the close and a signal's ending: once one stays under its part name
// (its name may not be replaced now), those after it stay with it, as they
// describe it.  stay(i, why) gets each part that stays with the line that
// says where.  Only calls a signal handler may make, but for stay's own.
template <class Stay>
void putinorder(const ending& e, Stay stay) {
  const char* stayed = nullptr;
  for (int i = 0; i < e.n; i++) {
    char why[kEndLine];
    if (stayed) {
      replwith(e.outs[i], stayed, why, sizeof why);
    } else if (replput(e.outs[i], why, sizeof why)) {
      continue;
    } else {
      stayed = e.outs[i].leaf;
    }
    stay(i, why);
  }
}

// The files of f that have parts, in their order, and which of f's they are.
ending partsof(latsFile* f, replfile* which[3]) {
  ending e;
  e.id = f->id;
  for (replfile* r : {&f->out, &f->ctlout, &f->mapout})
    if (replsigof(*r, &e.outs[e.n])) which[e.n++] = r;
  return e;
}

}  // namespace

bool latsOutOpen(replfile* r, const std::string& path, endhold* hold) {
  if (replopen(path.c_str(), nullptr, r, hold, REPL_COPY)) return true;
  int err = errno;
  latsError("LATS (lats) -->  Cannot write %s: %s", replshownname(path).c_str(), strerror(err));
  if (!r->note.empty()) sayline(r->note);
  return false;
}

std::string latsOutPath(const replfile& r) {
  if (r.fd < 0) return r.part.empty() ? r.name : r.part;
  // The descriptor's own name: this very file, whatever happens to the
  // names in the folder, and never one a library's clean-up may remove.
  std::string self = "/proc/self/fd/" + std::to_string(r.fd);
  if (access(self.c_str(), F_OK) == 0) return self;
  return r.part.empty() ? r.name : r.part;
}

void latsOutPublish(latsFile* f) {
  endhold hold;
  hold.hold();
  withdraw(f->id);
  replfile* which[3];
  ending e = partsof(f, which);
  if (e.n > 0) endings.push_back(e);
}

int latsOutCommit(latsFile* f) {
  endhold hold;
  hold.hold();
  withdraw(f->id);
  int ok = 1;
  replfile* which[3];
  putinorder(partsof(f, which), [&](int i, const char* why) {
    sayline(why);
    replleave(which[i]);
    ok = 0;
  });
  // What was put in place is only closed now.
  for (replfile* r : {&f->out, &f->ctlout, &f->mapout}) {
    if (r->fd < 0 && r->dir.get() < 0) continue;
    r->part.clear();
    if (replcommit(r) == REPL_FAILED) {
      latsError("LATS (lats) -->  Closing %s failed: %s", replshownname(r->name).c_str(), strerror(errno));
      ok = 0;
    }
  }
  return ok;
}

void latsOutDrop(latsFile* f, replfile* r) {
  endhold hold;
  hold.hold();
  repldiscard(r);
  latsOutPublish(f);
}

void latsOutDiscard(latsFile* f) {
  endhold hold;
  hold.hold();
  withdraw(f->id);
  for (replfile* r : {&f->out, &f->ctlout, &f->mapout}) repldiscard(r);
}

void latssigend(endhow how) {
  if (how != END_SIGNAL) return;
  for (const ending& e : endings) putinorder(e, [](int, const char* why) { omendsay(2, why); });
}
