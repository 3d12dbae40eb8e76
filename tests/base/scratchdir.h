// A folder of this test process's own for files of fixed names: the shared
// temporary folder may hold files of those names left by another user's
// run, or be written by another build's tests at the same time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

inline const std::string& scratchdir() {
  struct folder {
    std::string path;
    folder() {
      std::string tmpl = testing::TempDir() + "omscratchXXXXXX";
      if (mkdtemp(&tmpl[0]) != nullptr) path = tmpl + "/";
    }
    ~folder() {
      std::error_code ec;
      if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
  };
  static const folder f;
  return f.path;
}
