// The codec libraries of GRIB edition 2 packings: JPEG 2000 code streams
// (OpenJPEG), PNG images (libpng) and CCSDS streams (libaec), each decoded
// into the packed integers.  What the stream claims of its size is held to
// the count of values the field has before the library makes room for it.
// The integers are written where the caller says (in the session, the
// memory the helper process shares with the program): a codec whose
// samples are narrower than 32 bits decodes them into the end of that room
// and they are widened there, so that no room is made for a copy.
#include <libaec.h>
#include <openjpeg.h>
#include <png.h>

#include <sched.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "data/grib2.h"

g2codecfn g2codec = g2codec_here;

namespace {

bool fail(std::string* why, const std::string& what) {
  if (why) *why = what;
  return false;
}

// A code stream read from memory.
struct memstream {
  const unsigned char* p;
  size_t n, at;
};

OPJ_SIZE_T jread(void* buf, OPJ_SIZE_T n, void* user) {
  memstream* m = static_cast<memstream*>(user);
  if (m->at >= m->n) return static_cast<OPJ_SIZE_T>(-1);
  const size_t k = n < m->n - m->at ? n : m->n - m->at;
  std::memcpy(buf, m->p + m->at, k);
  m->at += k;
  return k;
}
OPJ_OFF_T jskip(OPJ_OFF_T n, void* user) {
  memstream* m = static_cast<memstream*>(user);
  if (n < 0) {
    const size_t back = static_cast<size_t>(-n) < m->at ? static_cast<size_t>(-n) : m->at;
    m->at -= back;
    return -static_cast<OPJ_OFF_T>(back);
  }
  const size_t k = static_cast<size_t>(n) < m->n - m->at ? static_cast<size_t>(n) : m->n - m->at;
  m->at += k;
  return static_cast<OPJ_OFF_T>(k);
}
OPJ_BOOL jseek(OPJ_OFF_T n, void* user) {
  memstream* m = static_cast<memstream*>(user);
  if (n < 0 || static_cast<size_t>(n) > m->n) return OPJ_FALSE;
  m->at = static_cast<size_t>(n);
  return OPJ_TRUE;
}
void jquiet(const char*, void*) {}

int usablecpus() {
  cpu_set_t set;
  return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

// The stream's own buffer, which takes the headers' small reads: a read
// of a tile's data, larger, goes straight from the code stream into the
// library's room for it.
constexpr OPJ_SIZE_T kStreamBuffer = 1 << 16;

bool jpeg(const unsigned char* in, size_t inlen, uint32_t* out, size_t nout, std::string* why) {
  memstream m{in, inlen, 0};
  opj_stream_t* st = opj_stream_create(kStreamBuffer, OPJ_TRUE);
  opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
  opj_image_t* img = nullptr;
  bool ok = false;
  if (st && codec) {
    opj_stream_set_user_data(st, &m, nullptr);
    opj_stream_set_user_data_length(st, inlen);
    opj_stream_set_read_function(st, jread);
    opj_stream_set_skip_function(st, jskip);
    opj_stream_set_seek_function(st, jseek);
    opj_set_error_handler(codec, jquiet, nullptr);
    opj_set_warning_handler(codec, jquiet, nullptr);
    opj_set_info_handler(codec, jquiet, nullptr);
    opj_dparameters_t par;
    opj_set_default_decoder_parameters(&par);
    const bool setup = opj_setup_decoder(codec, &par);
    // The code blocks are decoded on the processors this process may use.
    const int cpus = usablecpus();
    if (setup && cpus > 1) opj_codec_set_threads(codec, cpus < 8 ? cpus : 8);
    if (!setup || !opj_read_header(st, codec, &img) || !img) {
      fail(why, "JPEG 2000 stream without a valid header");
    } else if (static_cast<uint64_t>(img->x1 - img->x0) * (img->y1 - img->y0) != nout || img->numcomps < 1) {
      // The image must be the field's values: no room is made for more.
      fail(why, "JPEG 2000 image is not the field's size");
    } else if (!opj_decode(codec, st, img) || !opj_end_decompress(codec, st)) {
      fail(why, "JPEG 2000 stream damaged");
    } else {
      const opj_image_comp_t& c = img->comps[0];
      if (!c.data || static_cast<uint64_t>(c.w) * c.h != nout || c.prec > 32) {
        fail(why, "JPEG 2000 image is not the field's size");
      } else {
        for (size_t i = 0; i < nout; i++) out[i] = static_cast<uint32_t>(c.data[i]);
        ok = true;
      }
    }
  } else {
    fail(why, "no memory for the JPEG 2000 decoder");
  }
  if (img) opj_image_destroy(img);
  if (codec) opj_destroy_codec(codec);
  if (st) opj_stream_destroy(st);
  return ok;
}

void pngread(png_structp png, png_bytep buf, png_size_t n) {
  memstream* m = static_cast<memstream*>(png_get_io_ptr(png));
  if (n > m->n - m->at) png_error(png, "short");
  std::memcpy(buf, m->p + m->at, n);
  m->at += n;
}
void pngquiet(png_structp png, png_const_charp) { longjmp(png_jmpbuf(png), 1); }
void pngwarn(png_structp, png_const_charp) {}

// Turns the n samples of nb bytes (1 to 4) that fill the end of out's room
// into the integers they are, in place: out[i] takes sample i, which is
// read before out[i] is written, and whose bytes lie at or past those of
// out[i], so that no sample is overwritten before it is read.  The bytes
// of a sample come most significant first where msb, else last.
void widen(uint32_t* out, size_t n, int nb, bool msb) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (nb == 4 && !msb) return;  // already in place
#endif
  const unsigned char* p = reinterpret_cast<const unsigned char*>(out) + (4 - nb) * n;
  for (size_t i = 0; i < n; i++, p += nb) {
    uint32_t v = 0;
    if (msb) {
      for (int k = 0; k < nb; k++) v = v << 8 | p[k];
    } else {
      for (int k = nb - 1; k >= 0; k--) v = v << 8 | p[k];
    }
    out[i] = v;
  }
}

// Reads the image's rows into the end of out's room (for nout values);
// 0 after an error, else the bytes per pixel.  Only plain data lives
// across the library's jumps.
int pngdecode(const unsigned char* in, size_t inlen, uint32_t* out, size_t nout) {
  memstream m{in, inlen, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngquiet, pngwarn);
  if (!png) return 0;
  png_infop info = png_create_info_struct(png);
  volatile int bpp = 0;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_set_read_fn(png, &m, pngread);
    // No image larger than the field is taken.
    const png_uint_32 most = nout > 0x7fffffffu ? 0x7fffffffu : static_cast<png_uint_32>(nout);
    png_set_user_limits(png, most, most);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int chans = png_get_channels(png, info);
    if (static_cast<uint64_t>(w) * h == nout && png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE) {
      if (depth < 8) png_set_packing(png);
      const int passes = png_set_interlace_handling(png);
      png_read_update_info(png, info);
      const int b = depth < 8 ? chans : chans * depth / 8;
      const size_t rowbytes = png_get_rowbytes(png, info);
      if (b <= 4 && rowbytes == static_cast<size_t>(w) * b) {
        // Each pass of an interlaced image adds its pixels to every row.
        unsigned char* const first = reinterpret_cast<unsigned char*>(out) + (4 - b) * nout;
        for (int pass = 0; pass < passes; pass++) {
          unsigned char* row = first;
          for (png_uint_32 r = 0; r < h; r++, row += rowbytes) png_read_row(png, row, nullptr);
        }
        bpp = b;
      }
    }
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  return bpp;
}

bool pngfield(const unsigned char* in, size_t inlen, uint32_t* out, size_t nout, std::string* why) {
  const int b = pngdecode(in, inlen, out, nout);
  if (b < 1 || b > 4) return fail(why, "PNG image damaged or not the field's size");
  widen(out, nout, b, true);
  return true;
}

bool ccsds(const unsigned char* in, size_t inlen, const g2repr& r, uint32_t* out, size_t nout, std::string* why) {
  int nb = (r.nbits + 7) / 8;
  if (nb == 3 && !(r.ccflags & AEC_DATA_3BYTE)) nb = 4;
  if (nb < 1 || nb > 4) return fail(why, "CCSDS samples of " + std::to_string(r.nbits) + " bits");
  // The library divides by the block size unchecked where the message's
  // flags tell it not to hold the size to the standard's: a block of no
  // samples, or of an odd count, is damage.
  if (r.ccblock < 2 || r.ccblock % 2 != 0 || r.ccrsi < 1)
    return fail(why, "CCSDS blocks of " + std::to_string(r.ccblock) + " samples");
  const size_t bytes = nout * nb;
  aec_stream s;
  std::memset(&s, 0, sizeof s);
  s.next_in = in;
  s.avail_in = inlen;
  s.next_out = reinterpret_cast<unsigned char*>(out) + (4 - nb) * nout;
  s.avail_out = bytes;
  s.bits_per_sample = static_cast<unsigned>(r.nbits);
  s.block_size = static_cast<unsigned>(r.ccblock);
  s.rsi = static_cast<unsigned>(r.ccrsi);
  s.flags = static_cast<unsigned>(r.ccflags);
  const int rc = aec_buffer_decode(&s);
  if (rc != AEC_OK || s.total_out != bytes) return fail(why, "CCSDS stream damaged or not the field's size");
  widen(out, nout, nb, r.ccflags & AEC_DATA_MSB);
  return true;
}

bool nocodec(int kind, std::string* why) { return fail(why, "no codec for packing " + std::to_string(kind)); }

// The integers of g2codec_here, kept from one field to the next.
std::vector<uint32_t>& kept() {
  static std::vector<uint32_t> v;
  return v;
}

}  // namespace

int g2codec_local(int kind, const unsigned char* in, size_t inlen, const g2repr& r, uint32_t* out, size_t nout,
                  std::string* why) {
  switch (kind) {
    case 40: return jpeg(in, inlen, out, nout, why) ? 0 : 1;
    case 41: return pngfield(in, inlen, out, nout, why) ? 0 : 1;
    case 42: return ccsds(in, inlen, r, out, nout, why) ? 0 : 1;
    default: return nocodec(kind, why) ? 0 : 1;
  }
}

const uint32_t* g2codec_here(int kind, const unsigned char* in, size_t inlen, const g2repr& r, size_t nout,
                             std::string* why) {
  if (g2codecname(kind) == nullptr) {
    nocodec(kind, why);
    return nullptr;
  }
  std::vector<uint32_t>& v = kept();
  try {
    if (v.size() < nout) v.resize(nout);
  } catch (const std::bad_alloc&) {
    fail(why, "no memory for the field's values");
    return nullptr;
  }
  return g2codec_local(kind, in, inlen, r, v.data(), nout, why) ? nullptr : v.data();
}

namespace {

const struct {
  int kind;
  const char* name;
} kCodecs[] = {{40, "JPEG 2000"}, {41, "PNG"}, {42, "CCSDS"}};

}  // namespace

const char* g2codecname(int kind) {
  for (const auto& c : kCodecs)
    if (c.kind == kind) return c.name;
  return nullptr;
}

int g2codeckind(const std::string& name) {
  for (const auto& c : kCodecs)
    if (name == c.name) return c.kind;
  return -1;
}
