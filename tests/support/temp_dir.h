// A private temporary folder for a test, removed with everything in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TempDir {
 public:
  // A new folder under the system's temporary folder, named `prefix` and a
  // random number.
  explicit TempDir(std::string_view prefix = "qtr5-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to a file in the folder and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};
