// The configuration report names this machine's word size and byte order.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "cmd/omcmds.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::string machine(bool upper) {
  const std::uint16_t probe = 0x0102;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  bool big = first == 0x01;
  std::string bits = std::to_string(sizeof(void*) * 8) + "-bit";
  if (upper) return bits + (big ? " BIG ENDIAN" : " LITTLE ENDIAN");
  return bits + (big ? " big-endian" : " little-endian");
}

}  // namespace

TEST(Config, StartupLine) {
  CaptureStdout();
  omcfg(0);
  std::string out = GetCapturedStdout();
  std::string::size_type v = out.find(' ', 9);
  ASSERT_EQ(out.compare(0, 9, "Config: v"), 0);
  EXPECT_EQ(out.substr(v),
            " " + machine(false) + " readline sdf/xdf hdf-sds lats printim\n\n"
            "Issue 'q config' command for more information.\n\n");
}

TEST(Config, LongFormForQuery) {
  CaptureStdout();
  omcfg(2);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out.find("Issue 'q config'"), std::string::npos);
  EXPECT_NE(out.find("\n\nThis version of Ombra has been configured with the following options:\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("   o This is a " + machine(true) + " machine version.\n"), std::string::npos);
  EXPECT_NE(out.find("   o Command line editing (readline) ENABLED.\n"), std::string::npos);
  EXPECT_NE(out.find("both NetCDF and HDF-SDS files.\n"), std::string::npos);
  EXPECT_NE(out.find("GRIB and HDF-SDS files.\n"), std::string::npos);
  EXPECT_NE(out.find("  o printim command for direct png/gif output ENABLED.\n"), std::string::npos);
  const std::string last = "\nFor documentation see docs/README.md of the Ombra sources.\n";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
}
