// Losing the X server connection (window closed by the window manager,
// server gone) ends the program with status 1 and a message, after the
// print metafile has been given its end record, as quit would.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gxtest.h"
#include "test_x11_util.h"

TEST_F(X11Test, LostConnectionFinishesTheMetafileAndEnds) {
  char tmpl[] = "/tmp/omlost.XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string path = tmpl;
  EXPECT_EXIT(
      {
        if (gxhbgn(path.c_str()) != 0) exit(7);
        gxmove(1, 1);
        gxdraw(5, 5);
        // The connection dies under the program; the next request finds out.
        close(ConnectionNumber(x11st().display));
        gxfrme(9);
        XSync(x11st().display, False);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  std::ifstream f(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(f)), {});
  unlink(path.c_str());
  ASSERT_GE(b.size(), 2u);
  // The end record: the 16-bit value -9 (most significant byte first)
  // closes the file.
  int16_t last = static_cast<int16_t>(b[b.size() - 2] << 8 | b[b.size() - 1]);
  EXPECT_EQ(last, -9);
}
