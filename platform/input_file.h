// Files the service reads: its tag lists. Opening never waits, whatever
// stands at the name (a FIFO without a writer, a terminal), and only a
// regular file is read, so that a tag list that is no file fails its report
// at once and the service goes on answering its stop request.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tavrolin {

// Bytes read piece by piece, from the first.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies the next bytes into `buffer`, `size` of them unless the bytes
  // end first; returns how many, 0 at the end. Throws Error when reading
  // fails.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  // Goes back to the first byte.
  virtual void Rewind() = 0;
  // The number of bytes there are to read, as far as known beforehand; 0
  // when not known.
  virtual std::size_t SizeHint() const = 0;
};

// A regular file open for reading.
class InputFile : public ByteSource {
 public:
  // The file's absolute path, as messages name it.
  virtual const std::string& path() const = 0;
};

// Opens the regular file at `path` (a bare name is looked for in the
// working folder). Throws Error (91) naming the file when nothing stands
// there ("tags.xml not found in /srv/x (the working folder)"), when it is
// a folder, FIFO, device or socket ("A FIFO, not a file: /srv/x/tags.xml"),
// or when it cannot be opened; the number is that of a tag list that did
// not load.
std::unique_ptr<InputFile> OpenInputFile(const std::string& path);

// What stands at a name that is not a regular file.
enum class FileKind { kMissing, kFolder, kFifo, kDevice, kSocket, kOther };

// For the backends: `path` made absolute against the working folder.
std::string AbsolutePath(const std::string& path);
// For the backends: the failure of opening `path` when `kind` stands there.
[[noreturn]] void ThrowNotAFile(const std::string& path, FileKind kind);

}  // namespace tavrolin
