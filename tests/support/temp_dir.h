// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace corvanta::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Whole-file helpers for fixtures.
void writeText(const std::string& path, const std::string& text);  // creates parents
std::string readText(const std::string& path);

}  // namespace corvanta::test
