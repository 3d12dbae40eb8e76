// GRIB records read through their messages.  A GRIB2 message is read whole
// (one positioned read) and described again, so that nothing but its place
// and field number need be kept in an index; the room for it and its field
// is kept by the caller from one message to the next.
#include "data/gribfield.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "base/memcap.h"
#include "data/gribmap.h"

namespace {

int64_t filelen(FILE* f) {
  struct stat st;
  return f && fstat(fileno(f), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool readall(FILE* f, int64_t pos, unsigned char* b, int64_t n) {
  while (n > 0) {
    ssize_t got = pread(fileno(f), b, static_cast<size_t>(n), static_cast<off_t>(pos));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    b += got;
    pos += got;
    n -= got;
  }
  return true;
}

// At least n elements at *p, whose room is *have: made anew only when
// larger than before (the old room given back first).
template <class T>
bool room(std::unique_ptr<T[]>* p, size_t* have, size_t n) {
  if (*have >= n) return true;
  p->reset();
  *have = 0;
  p->reset(new (std::nothrow) T[n]);
  if (!*p) return false;
  *have = n;
  return true;
}

int fail(std::string* why, const std::string& text) {
  *why = text;
  return 1;
}

}  // namespace

int g1record(FILE* f, int64_t off, g1entry* e, std::string* why) {
  const int64_t flen = filelen(f);
  if (flen < 0) return fail(why, "the file cannot be read");
  gribhead h;
  if (gribhead1(f, flen, off, &h, why)) {
    if (why->empty()) *why = "not a GRIB1 record";
    return 1;
  }
  *e = g1entry();
  e->doff = h.dataoff;
  if (h.bmsflg) e->boff = h.bmsoff;
  e->bits = h.bpv;
  e->dsf = h.dsf;
  e->bsf = h.bsf;
  e->ref = h.ref;
  return 0;
}

int g2record(FILE* f, int64_t off, int fld, int64_t npts, float undef, g2held* h, std::string* why) {
  const int64_t flen = filelen(f);
  unsigned char s0[16];
  if (flen < 0 || off < 0 || off + 16 > flen || !readall(f, off, s0, 16)) return fail(why, "the file ends before the message");
  if (std::string(reinterpret_cast<char*>(s0), 4) != "GRIB" || s0[7] != 2) return fail(why, "no GRIB2 message there");
  uint64_t len = 0;
  for (int i = 8; i < 16; i++) len = (len << 8) | s0[i];
  if (len > static_cast<uint64_t>(flen - off)) return fail(why, "the file ends inside the message");
  // The message and the grid are held at once: each within what one grid
  // may take.
  const size_t cap = ommemcap();
  if (len > cap || npts < 1 || static_cast<uint64_t>(npts) > cap / sizeof(float))
    return fail(why, "the message is larger than a grid may be");
  // Every point is written by the decode: the room is not filled first.
  if (!room(&h->msg, &h->msgroom, len)) return fail(why, "no memory for the message");
  if (!room(&h->field, &h->fieldroom, static_cast<size_t>(npts))) return fail(why, "no memory for the field");
  // The message ends where the room does, so that a read past its end is
  // a read past the room, as when the room was made for it alone.
  unsigned char* msg = h->msg.get() + (h->msgroom - len);
  if (!readall(f, off, msg, static_cast<int64_t>(len))) return fail(why, "the file ends inside the message");
  std::string scanwhy;
  h->fields.clear();
  try {
    g2scanmsg(msg, len, &h->fields, &scanwhy);
  } catch (const std::bad_alloc&) {
    return fail(why, "no memory for the field");
  }
  const g2field* g = nullptr;
  for (const g2field& x : h->fields)
    if (x.fieldno == fld) g = &x;
  if (!g) return fail(why, scanwhy.empty() ? "the message has no field " + std::to_string(fld) : scanwhy);
  if (g2points(*g) != npts) return fail(why, "the field's grid is not the data set's");
  return g2decode(msg, len, *g, h->field.get(), static_cast<size_t>(npts), undef, why);
}
