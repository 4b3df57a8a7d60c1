// The files a build touches, through the system's own calls and with names
// in the system's own code page: the two files it reads, the output name it
// may replace, and the new flasher, which is written under a temporary name
// and gets the output name only once it is complete and on the disk.
// Defined per platform (build_file_posix.cpp, build_file_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace build_file {

// Which file a name leads to, whatever name it is reached by: device and
// inode, or volume serial number and file index.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool known = false;  // some old file systems give no usable index
};
// True only when both identities are known and equal.
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

struct LoadedFile {
  std::vector<unsigned char> bytes;  // left empty when the file is longer than the limit
  std::uint64_t length = 0;
  FileIdentity identity;
  unsigned permissions = 0;  // the file's mode bits where the system has them
};
// Reads a regular file whole, unless it is longer than `limit`: then only
// its length is taken, so an oversize file is refused without loading it.
// False when the file cannot be opened or read, or is no regular file.
bool LoadFile(const std::string& path, std::uint64_t limit, LoadedFile& file);

enum class OutputState {
  Absent,       // nothing holds the name
  Replaceable,  // a regular file the user could overwrite
  Protected,    // anything else: never replaced
};
struct ExistingOutput {
  OutputState state = OutputState::Protected;
  FileIdentity identity;  // for a replaceable file
};
// What holds the output name now. A file that grants nobody write permission
// (or carries the read-only attribute) is protected even for the
// administrator, as is one the user may not write.
ExistingOutput InspectOutput(const std::string& path);

// True when two names lead to the same path on a file system that ignores
// case (Windows). Elsewhere names that differ are different files, so only
// the identity can tell.
bool SameName(const std::string& a, const std::string& b);

enum class MoveResult {
  Moved,
  Failed,        // the temporary file is removed; what held the name is untouched
  FailedKeptIt,  // the old file is gone and the complete new one stays under Path()
};

// A new file created exclusively beside the output (never a name that
// exists, never through a link), written only through the handle it was
// created with. It is removed when the object goes, unless it got its final
// name or was kept because the old output is already gone.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // A name in `directory` that starts like `finalName`; `permissions` are set
  // on the new file where the system has them.
  bool Create(const std::string& directory, const std::string& finalName, unsigned permissions);
  // Writes every byte, waits until they are on the disk and closes the file.
  // On failure `reason` is the system's own wording of the error.
  bool Write(const unsigned char* data, std::size_t size, std::string& reason);
  // Gives the written file the name `finalPath`, replacing what is there.
  MoveResult MoveTo(const std::string& finalPath);
#if defined(_WIN32)
  // The NT family replaces in one step; the 9x family, whose MoveFileExA is a
  // stub, deletes the old file first. MoveTo picks by the running system.
  enum class ReplaceMethod { OneStep, DeleteThenMove };
  MoveResult MoveTo(const std::string& finalPath, ReplaceMethod method);
#endif
  const std::string& Path() const { return path_; }

 private:
  void Close();

  std::string path_;
  std::string directory_;
  std::intptr_t handle_ = -1;  // descriptor or HANDLE; -1 is neither's valid value
  FileIdentity created_;
  bool gone_ = true;  // nothing of ours to remove under path_
};

}  // namespace build_file
