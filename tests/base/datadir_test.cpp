// Names in the data directory and environment lookups.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "base/datadir.h"

TEST(DataDir, DataDirectoryNames) {
  const char* keep = getenv("OMDDIR");
  std::string saved = keep ? keep : "";
  setenv("OMDDIR", "/data/om", 1);
  EXPECT_EQ(gxgnam("udft"), "/data/om/udft");
  setenv("OMDDIR", "/data/om/", 1);
  EXPECT_EQ(gxgnam("udft"), "/data/om/udft");
  setenv("OMDDIR", "./here", 1);
  EXPECT_EQ(gxgnam("udft"), "udft");
  unsetenv("OMDDIR");
  std::string def = gxgnam("udft");
  EXPECT_EQ(def[0], '/');
  EXPECT_EQ(def.substr(def.size() - 5), "/udft");
  EXPECT_EQ(gxgsym("OMDDIR"), nullptr);
  setenv("OMDDIR", "/x", 1);
  EXPECT_STREQ(gxgsym("OMDDIR"), "/x");
  if (keep) setenv("OMDDIR", saved.c_str(), 1);
  else unsetenv("OMDDIR");
}
