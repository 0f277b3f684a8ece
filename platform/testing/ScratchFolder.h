// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelliport::testing {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::u16string U16() const { return path_.u16string(); }
  // Creates a subfolder and returns it.
  std::filesystem::path Make(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// File helpers for tests.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder);
// The bytes of a file that another process makes whole by a rename, once it
// can be read: on Windows the new name refuses readers for a moment while
// the renaming process still holds the file. Nothing when it cannot be read
// within the limit.
std::optional<std::string> WaitForFileBytes(const std::filesystem::path& path, std::chrono::milliseconds limit);

// The lines of a text whose lines end in CR LF (the last one may lack it).
std::vector<std::string> SplitCrLfLines(const std::string& text);
// The log file's texts without their time stamps, as UTF-8 (Windows-1252
// text is taken as its Latin-1 range, which is what the tests log).
std::vector<std::string> LogTexts(const std::filesystem::path& log, unsigned codePage);

}  // namespace pelliport::testing
