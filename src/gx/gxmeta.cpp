// The display list and the hardcopy metafile.
//
// Records are 16-bit words kept in host order in memory, in chunks that are
// never reallocated; the metafile is always written big-endian, whatever the
// host, so that a file reads the same everywhere.
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/endhold.h"
#include "base/ending.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxint.h"
#include "gx/metaout.h"

namespace {

const size_t kDefaultChunk = 10000000;  // words (20,000,000 bytes)
const int kMaxChunks = 250;
const size_t kMark = 10;                // words kept free at a chunk's end

struct displist {
  float xrsize = 11, yrsize = 8.5;
  size_t chunkw = kDefaultChunk;
  int16_t* hbuff = nullptr;
  int16_t* hpnt = nullptr;
  int16_t* hend = nullptr;
  int16_t* bufs[kMaxChunks] = {nullptr};
  size_t lens[kMaxChunks] = {0};
  int pnt = 0;
  int16_t* bufs2[kMaxChunks] = {nullptr};
  size_t lens2[kMaxChunks] = {0};
  int pnt2 = 0;
  int pntf = 0;
  int dbmode = 0;
  int bflag = 0;
  int herr = 0;
  int hflag = 0;
  int hferr = 0;
  int hpflg = 0;
  metaout hout;
  off_t hpos = 0;  // where the last whole frame ends
};

displist dl;
// The bytes of the file's header (-1, width, height): a file that ends
// there holds no frame.
const off_t kHeaderBytes = 6;
// Set by every gxhbgn that answers 0, cleared by every gxhend.
int hopened = 0;

// What an interrupt handler needs to end the open metafile without stdio
// (besides its descriptor, which stays while this is set): where its end
// goes (position * 2, plus 1 when the last printed frame still lacks its
// closing -2), or -1 with no file open.  Published only at points where
// everything before that position has been written and flushed, and
// withdrawn (-1) before the file is closed, so that a handler never writes
// to a descriptor already given back.
std::atomic<long> sigtail{-1};

void publish() {
  sigtail = dl.hflag && dl.hout.fd() >= 0 ? dl.hpos * 2 + (dl.hpflg ? 1 : 0) : -1;
}

// What puts the open metafile's part file in place from a signal handler,
// with the line it says; set only while nothing is published.
replsig sigput;
bool sigrename = false;
char sigsaid[kEndLine];

const char kClosed[] = "Hardcopy output file is closed \n";
const char kNoneOpen[] = "No hardcopy metafile open\n";
const char kWriteError[] = "I/O Error writing to print metafile.\n";

// The line of a commit that left the finished file under its part name:
// an error of the command, which a script's result holds.
void saykept(const replfile& f) { omprnt(0, f.note); }

size_t chunk_request = kDefaultChunk;

// A chunk of the size asked for; null when there is no memory for it,
// which is said (why) and puts the list in its error state.
int16_t* new_chunk(const char* why = "Memory allocation error for metafile buffers.\n") {
  int16_t* b = static_cast<int16_t*>(malloc(chunk_request * sizeof(int16_t)));
  if (!b) {
    printf("%s", why);
    dl.herr = 1;
  }
  return b;
}

void start_chunk(int16_t* b) {
  dl.chunkw = chunk_request;
  dl.hbuff = b;
  dl.hpnt = b;
  dl.hend = b + (dl.chunkw - kMark);
}

size_t cur_words() { return dl.hbuff ? (size_t)(dl.hpnt - dl.hbuff) : 0; }

// The chunk being recorded is full: the next one of its set is started.
void hfull() {
  const bool second = dl.dbmode && dl.pntf;
  int& pnt = second ? dl.pnt2 : dl.pnt;
  // Its length, which every reader of the set also sets anew.
  (second ? dl.lens2 : dl.lens)[pnt - 1] = cur_words();
  if (pnt >= kMaxChunks) {
    printf("Out of buffer space\n");
    dl.herr = 1;
    return;
  }
  int16_t* b = new_chunk();
  if (!b) return;
  (second ? dl.bufs2 : dl.bufs)[pnt++] = b;
  start_chunk(b);
}

inline bool recording() { return !dl.bflag && !dl.herr && dl.hbuff; }

inline void after_record() {
  if (dl.hpnt > dl.hend) hfull();
}

void free_set(int16_t** bufs, int from, int to) {
  for (int i = from; i < to; i++) {
    free(bufs[i]);
    bufs[i] = nullptr;
  }
}

// A write to the metafile failed: the frame it was writing is cut off and
// the end records follow the last whole frame, so the file still reads
// everywhere; then it is closed and the error state set.  A file with no
// whole frame in it does not take the place of an older one: its part file
// is dropped.  Nor does one without room left for its end records: it
// stays under its part name, as a session killed outright leaves it.
void writefailed() {
  printf("I/O Error writing to print metafile.\n");
  endhold hold;
  hold.hold();
  sigtail = -1;
  bool framed = dl.hpos > kHeaderBytes || dl.hpflg;
  bool part = !dl.hout.file.part.empty();
  if (!framed && part) {
    repldiscard(&dl.hout.file);
  } else if (dl.hout.regular() && !metaendat(dl.hout.fd(), dl.hpos, dl.hpflg != 0) && part) {
    replleave(&dl.hout.file);
  } else if (metaclose(&dl.hout) == REPL_KEPT) {
    saykept(dl.hout.file);
  }
  dl.hferr = 1;
  dl.hflag = 0;
  dl.hpflg = 0;
}

// Writes words to the metafile, big-endian (after: what ends the file
// once they are out, see metaend).  On a write error the file is ended at
// its last whole frame and closed, and the error state set; returns 1
// then, else 0.
int gxhwri(const int16_t* buf, size_t words, metaend after) {
  if (metawrite(dl.hout, buf, words, after)) return 0;
  writefailed();
  return 1;
}

// Appends one record (a code and its operands) to the list while it is
// being recorded.
void record(std::initializer_list<int16_t> words) {
  if (!recording()) return;
  for (int16_t w : words) *dl.hpnt++ = w;
  after_record();
}

}  // namespace

int16_t gxhcoord(double inches) {
  double v = inches * 1000.0 + 0.5;
  if (!(v > 0)) return 0;  // negative, zero or NaN
  if (v >= 32760.0) return 32760;
  return (int16_t)(int)v;
}

void hout0(int code) { record({(int16_t)code}); }
void hout1(int code, int i) { record({(int16_t)code, (int16_t)i}); }
void hout2i(int code, int i, int j) { record({(int16_t)code, (int16_t)i, (int16_t)j}); }
void hout3i(int code, int i, int j, int k) {
  record({(int16_t)code, (int16_t)i, (int16_t)j, (int16_t)k});
}
void hout4i(int code, int i, int j, int k, int l) {
  record({(int16_t)code, (int16_t)i, (int16_t)j, (int16_t)k, (int16_t)l});
}
void hout2(int code, float x, float y) { record({(int16_t)code, gxhcoord(x), gxhcoord(y)}); }
void hout4(int code, float a, float b, float c, float d) {
  record({(int16_t)code, gxhcoord(a), gxhcoord(b), gxhcoord(c), gxhcoord(d)});
}

void gxhsetchunk(size_t words) { chunk_request = words >= 64 ? words : kDefaultChunk; }
int gxhqerr() { return dl.herr || dl.bflag; }
int gxhqdb() { return dl.dbmode; }

void gxhqpag(float* xsize, float* ysize) {
  *xsize = dl.xrsize;
  *ysize = dl.yrsize;
}

void gxhnew(float xsize, float ysize) {
  // A restart of the package drops whatever the list held before.
  free_set(dl.bufs, 0, kMaxChunks);
  free_set(dl.bufs2, 0, kMaxChunks);
  sigtail = -1;
  metaabandon(&dl.hout);
  dl = displist();
  dl.xrsize = xsize;
  dl.yrsize = ysize;
  int16_t* b = new_chunk("Unable to allocate memory for metafile operations.\n");
  if (!b) return;
  dl.bflag = 0;
  dl.pnt = 1;
  dl.bufs[0] = b;
  start_chunk(b);
}

void gxhopt(int flag) {
  // Streaming the list straight to the metafile is not offered: the list is
  // always kept in memory, so images and redraws stay complete.
  if (flag) printf("File buffering of the print metafile is not available\n");
}

std::vector<gxhchunk> gxhsel(bool completed) {
  std::vector<gxhchunk> out;
  if (!dl.dbmode) {
    if (dl.pnt > 0 && dl.hbuff) dl.lens[dl.pnt - 1] = cur_words();
    for (int i = 0; i < dl.pnt; i++) {
      if (dl.bufs[i]) out.push_back({dl.bufs[i], dl.lens[i]});
    }
    return out;
  }
  // Store the length of the chunk being written.
  if (dl.pntf) {
    if (dl.pnt2 > 0) dl.lens2[dl.pnt2 - 1] = cur_words();
  } else if (dl.pnt > 0) {
    dl.lens[dl.pnt - 1] = cur_words();
  }
  bool set2 = completed ? !dl.pntf : dl.pntf;
  if (set2) {
    for (int i = 0; i < dl.pnt2; i++) {
      if (dl.bufs2[i]) out.push_back({dl.bufs2[i], dl.lens2[i]});
    }
  } else {
    for (int i = 0; i < dl.pnt; i++) {
      if (dl.bufs[i]) out.push_back({dl.bufs[i], dl.lens[i]});
    }
  }
  return out;
}

void gxhfrm(int action) {
  if (dl.hflag && dl.hpflg) {
    if (gxhwri(kMetaEnd, 1, META_END_FILE) == 0) {
      dl.hpflg = 0;
      dl.hpos += 2;
    }
    publish();
  }
  bool fresh2 = false;
  if (action == 2 && !dl.dbmode) {
    dl.dbmode = 1;
    int16_t* b = new_chunk();
    if (!b) {
      dl.pnt2 = 0;
      dl.bufs2[0] = nullptr;
    } else {
      dl.bufs2[0] = b;
      dl.lens2[0] = 0;
      dl.pnt2 = 1;
      dl.pntf = 1;
      fresh2 = true;
    }
  } else if (action != 2 && dl.dbmode) {
    dl.dbmode = 0;
    free_set(dl.bufs2, 0, kMaxChunks);
    dl.pnt2 = 0;
    dl.pntf = 0;
  }
  if (!dl.dbmode) {
    if (dl.bufs[0]) {
      free_set(dl.bufs, 1, kMaxChunks);
      dl.pnt = 1;
      dl.pntf = 0;
      start_chunk(dl.bufs[0]);
    }
  } else if (dl.pntf) {
    if (dl.pnt2 > 0) dl.lens2[dl.pnt2 - 1] = fresh2 ? 0 : cur_words();
    if (dl.bufs[0]) {
      free_set(dl.bufs, 1, kMaxChunks);
      dl.pntf = 0;
      dl.pnt = 1;
      start_chunk(dl.bufs[0]);
    }
  } else {
    if (dl.pnt > 0) dl.lens[dl.pnt - 1] = cur_words();
    if (dl.bufs2[0]) {
      free_set(dl.bufs2, 1, kMaxChunks);
      dl.pntf = 1;
      dl.pnt2 = 1;
      start_chunk(dl.bufs2[0]);
    }
  }
  if (dl.herr && dl.bufs[0] && !dl.dbmode) dl.herr = 0;
}

int gxhbgn(const char* fname) {
  if (dl.hferr) {
    printf("Metafile error state is positive.\n");
    printf("Disable Print before attempting an Enable Print.\n");
    return 1;
  }
  if (dl.hflag) {
    printf("Metafile already open\n");
    hopened = 1;
    return 0;
  }
  // From the making of the part file until the handler knows it, an ending
  // signal waits: none leaves an empty part file behind.
  endhold hold;
  int rc = metaopen(fname, &dl.hout, &hold);
  if (rc != METAOPEN_OK) {
    printf("Error opening meta file %s \n", replshownname(fname).c_str());
    if (rc == METAOPEN_LOCKED) printf("  Another session is writing this file.\n");
    printf("%s", dl.hout.file.note.c_str());
    dl.hout.file.note.clear();
    return 1;
  }
  int16_t hdr[3] = {-1, gxhcoord(dl.xrsize), gxhcoord(dl.yrsize)};
  if (!metawrite(dl.hout, hdr, 3, META_END_FILE)) {
    // A header that cannot be written is a plain open failure, not the
    // error state of a file in use; no torn header is left behind.
    printf("I/O Error writing to print metafile.\n");
    metadiscard(&dl.hout);
    return 1;
  }
  sigrename = replsigof(dl.hout.file, &sigput);
  dl.hpos = kHeaderBytes;
  dl.hpflg = 0;
  dl.hferr = 0;
  dl.hflag = 1;
  hopened = 1;
  publish();
  return 0;
}

int gxhprt() {
  if (dl.herr || dl.hferr) {
    printf("Error status on print metafile is positive.\n");
    printf("Cannot print current frame.\n");
    return 1;
  }
  if (!dl.hflag) {
    printf("Metafile not currently open\n");
    return 1;
  }
  std::vector<gxhchunk> set = gxhsel(true);
  off_t words = 0;
  for (const gxhchunk& c : set) {
    if (c.len > 0 && gxhwri(c.words, c.len, META_END_FRAME)) return 1;
    words += static_cast<off_t>(c.len);
  }
  dl.hpflg = 1;
  dl.hpos += 2 * words;
  publish();
  return 0;
}

int gxhend() {
  hopened = 0;
  if (dl.hferr) {
    printf("Resetting print metafile error status.\n");
    dl.hferr = 0;
  }
  if (!dl.hflag) {
    printf("%s", kNoneOpen);
    return 0;
  }
  int bad = dl.hpflg ? gxhwri(kMetaEnd, 2, META_ENDED) : gxhwri(kMetaEnd + 1, 1, META_ENDED);
  if (bad) return 1;
  dl.hflag = 0;
  dl.hpflg = 0;
  // Between the handler's losing the file and its renaming, an ending
  // signal waits: the finished file is not left under its part name.
  endhold hold;
  hold.hold();
  sigtail = -1;
  int closed = metaclose(&dl.hout);
  hold.release();
  // The writing went well: a file that may not take its name now is no
  // error of the file, and stays whole under its part name.
  if (closed == REPL_KEPT) {
    saykept(dl.hout.file);
    return 1;
  }
  if (closed != REPL_DONE) {
    printf("%s", kWriteError);
    dl.hferr = 1;
    return 1;
  }
  printf("%s", kClosed);
  return 0;
}

int gxhopen() { return hopened; }

const char* gxhsigclose() {
  long tail = sigtail;
  int fd = dl.hout.fd();
  if (tail < 0 || fd < 0) return kNoneOpen;
  // Whatever a print cut short wrote beyond the end is dropped with it.
  if (!metaendat(fd, static_cast<off_t>(tail / 2), (tail & 1) != 0)) return kWriteError;
  // The finished file takes the user's name, as at a normal end, or stays
  // under its part name where the name may not be replaced now: the line
  // that says where stands in the closed line's place, as at gxhend.
  if (!sigrename || replput(sigput, sigsaid, sizeof sigsaid)) return kClosed;
  return sigsaid;
}

void gxhsigend() { omendsay(1, gxhsigclose()); }

void xycnv(int ix, int iy, float* x, float* y) {
  *x = (float)ix / 1000.0f;
  *y = (float)iy / 1000.0f;
}

static void replay(int which);

void gxhdrw(int which) {
  try {
    replay(which);
  } catch (const std::bad_alloc&) {
    printf("Memory allocation error: Redraw\n");
  }
}

static void replay(int which) {
  if (which && !dl.dbmode) {
    printf("Logic error 0 in Redraw.  Contact Developer.\n");
    return;
  }
  std::vector<gxhchunk> set = gxhsel(which != 0);
  gxsfrm();
  gxdriver& d = gxdrv();
  std::vector<float> poly;
  bool inpoly = false;
  float x, y, x2, y2;
  for (const gxhchunk& c : set) {
    const int16_t* p = c.words;
    const int16_t* e = c.words + c.len;
    while (p < e) {
      int code = *p;
      switch (code) {
        case -3: if (e - p < 2) return; d.colour(p[1]); p += 2; break;
        case -4: if (e - p < 3) return; d.width(p[2]); p += 3; break;
        case -5: if (e - p < 5) return; d.defcolour(p[1], p[2], p[3], p[4]); p += 5; break;
        case -6:
          if (e - p < 5) return;
          xycnv(p[1], p[3], &x, &y);
          xycnv(p[2], p[4], &x2, &y2);
          d.rect(x, x2, y, y2);
          p += 5;
          break;
        case -7: if (e - p < 2) return; poly.clear(); inpoly = true; p += 2; break;
        case -8:
          if (!inpoly) {
            printf("Logic Error 16 in Redraw.  Notify Developer\n");
            return;
          }
          d.fill(poly.data(), (int)(poly.size() / 2));
          inpoly = false;
          p += 1;
          break;
        case -10:
        case -11:
          if (e - p < 3) return;
          xycnv(p[1], p[2], &x, &y);
          if (inpoly) {
            poly.push_back(x);
            poly.push_back(y);
          } else if (code == -10) {
            d.move(x, y);
          } else {
            d.draw(x, y);
          }
          p += 3;
          break;
        case -12: if (e - p < 4) return; d.pattern(p[1], p[2], p[3]); p += 4; break;
        case -20:
          if (e - p < 2) return;
          d.button(p[1], nullptr, 1, 0, -1);
          p += 2;
          break;
        case -9: printf("Logic Error 4 in Redraw.  Notify Developer\n"); return;
        case -1: printf("Logic Error 8 in Redraw.  Notify Developer\n"); return;
        case -2: printf("Logic Error 12 in Redraw.  Notify Developer\n"); return;
        default: printf("Logic Error 20 in Redraw.  Notify Developer\n"); return;
      }
    }
  }
}
