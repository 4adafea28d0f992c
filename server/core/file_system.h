// The few file operations collections need, behind an interface: the
// collection format and its loader are portable and fuzzed natively, while
// making a replacement durable and atomic takes each platform's own calls.
// The Win32 implementation is in server/win, the POSIX one (for native builds)
// in server/posix; tests put their own in place to inject failures.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vard::server {

// A new file being written. Destroying it closes it and keeps it.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // All `size` bytes, or false (a full disk, an I/O error).
  virtual bool Write(const void* data, std::size_t size) = 0;
  // Everything written so far is on the disk, not only in a cache.
  virtual bool Flush() = 0;
};

// A file being read, which nobody may write while it is open.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Up to `size` bytes; *got is 0 only at the end of the file. False: a read error.
  virtual bool Read(void* data, std::size_t size, std::size_t* got) = 0;
  // Back to the first byte.
  virtual bool Rewind() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Whether `path` names the same file whatever the working directory: the
  // server's is not its clients'.
  virtual bool IsAbsolute(std::string_view path) const = 0;

  // A new, empty file in the folder of `target`, under a name no other file
  // has (its full path in *temp_path); null when it cannot be created.
  virtual std::unique_ptr<OutputFile> CreateTemporary(const std::string& target,
                                                      std::string* temp_path) = 0;

  // Puts the closed file `temp` in the place of `target`, atomically and
  // durably: whatever happens to the machine meanwhile, `target` is
  // afterwards either what it was or the whole of `temp`.
  virtual bool Replace(const std::string& temp, const std::string& target) = 0;

  virtual void Remove(const std::string& path) = 0;

  // Opened for reading with writers shut out; null when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;
};

// The file system collections use: the host's own, unless a test has put
// another in its place with SetCollectionFileSystem (null restores the host's).
FileSystem& CollectionFileSystem();
void SetCollectionFileSystem(FileSystem* fs);

// The host's file system; defined by the platform's implementation.
FileSystem& HostFileSystem();

}  // namespace vard::server
