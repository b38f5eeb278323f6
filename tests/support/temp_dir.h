// A folder of its own for one test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tavrolin::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(std::string_view name) const;
  // Writes `content` as the whole file `name` (bytes as given).
  void Write(std::string_view name, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a file; throws when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// The stand-in historian's call log, one call per line (empty when absent).
std::string ReadFileOrEmpty(const std::filesystem::path& path);

}  // namespace tavrolin::testing
