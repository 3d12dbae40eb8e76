// What the program and its helper say to each other on their socket.
//
// A request is an operation byte and a file name (its length, then its
// bytes), then what the operation needs:
//   OP_DESCRIBE  nothing; the answer is a helper_answer byte, and after
//                HELPER_HELD the description's length and bytes
//                (sdfwire.cpp);
//   OP_READ      the variable's id, the number of dimensions, the starts,
//                the counts, the slab's bytes, the size of the shared
//                block (sdfblock.h) and where in it the values go, the
//                read's flags, the places asked
//                for ahead and the file as the program opened it (size,
//                device, inode); the answer is one byte, 1 when the slab
//                is in the block, 2 when the file holds it as it is
//                (READ_PLACE): then a count and the byte offsets of the
//                slab and of the same slab at the following indices of
//                the first dimension;
//   OP_TIMES     the times wanted and the program's calendar; the answer
//                is a helper_answer byte, and after HELPER_TIMES the
//                length of the rest, the length of what the reading said,
//                that text and the times, five 32-bit fields each;
//   OP_CLOSE     nothing; no answer (the program goes on meanwhile);
//   OP_CODEC     a GRIB2 field's code stream decoded (the name is the
//                codec's, g2codecname): the read's flags (READ_INLINE
//                alone), the bits per value and the three CCSDS
//                parameters, the count of integers, the size of the shared
//                block and where in it the integers go, and the stream's
//                length followed by its bytes; the answer is READ_IN_BLOCK
//                (the integers then follow on the socket where READ_INLINE
//                was asked), or READ_FAILED followed by the length and the
//                text of why.
// Numbers are in the machine's own order: both ends are one program.
//
// Another kind of request is a constant here, a function of the helper's
// that serves it (its row in kServers, sdfserve.cpp), and one of the
// program's that sends it and reads its answer through exchange()
// (sdfhelper.cpp); the name may name what it works with (a codec) where no
// file is meant.  Its values go into the shared block as a read's do.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

enum : char { OP_DESCRIBE = 'D', OP_READ = 'R', OP_CLOSE = 'C', OP_TIMES = 'T', OP_CODEC = 'G' };
// Flags of a read: no request's grid bounds the slab (a coordinate's
// values), so it is refused when larger than the file can hold; the
// program reads the values from the file itself where the file holds
// them as they are.
// READ_INLINE: the program has no block to give (a hard limit on the size
// of files, memory files refused): the values follow the answer on the
// socket instead.
enum : uint8_t { READ_BOUNDED = 1, READ_PLACE = 2, READ_INLINE = 4 };
// The program's own flag, which the helper does not see: reads of the
// next steps follow, and the block keeps room for one ahead.
enum : uint8_t { READ_LOOP = 64 };
// The answers of a read.
// READ_NO_STEP: the slab begins past the end of its first dimension (a
// read ahead of a loop's last step), which is no failure of the library.
enum : char { READ_FAILED = 0, READ_IN_BLOCK = 1, READ_IN_FILE = 2, READ_NO_STEP = 3 };
// The longest name a request carries.
constexpr uint32_t kMaxName = 65536;
// A time in a times answer: its five fields; and what the reading of a
// file's times may say (a few lines, and far less than this even for a
// damaged file).
constexpr size_t kTimeBytes = 5 * sizeof(int32_t);
constexpr size_t kMostSaid = 1 << 16;
// What the helper sends once it is ready for requests.
constexpr char kReady = 'R';

// Sends all n bytes at buf, going on after an interrupted call; false
// when the other end is gone.
inline bool sendall(int fd, const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

template <class T>
void put(std::string* s, T v) {
  s->append(reinterpret_cast<const char*>(&v), sizeof v);
}
