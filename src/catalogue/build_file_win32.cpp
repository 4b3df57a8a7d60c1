// The build's files through ANSI Win32 calls that every Windows from 95 on
// implements: names stay in the system's code page, and no W function (the
// 9x family has only stubs of those) is used.
#include <windows.h>

#include <string>

#include "catalogue/build_file.h"
#include "catalogue/path_text.h"
#include "common/windows_family_win32.h"

namespace build_file {

namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr DWORD kIoPiece = 1u << 20;  // ReadFile and WriteFile count in DWORDs

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Volume and file index of an open file. Some file systems of the 9x family
// give an index of zero; that identity counts as unknown, and the name
// comparison alone guards such a file.
FileIdentity IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) == 0) return {};
  const std::uint64_t index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return {info.dwVolumeSerialNumber, index, index != 0};
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  char* name = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
  if (length > 0 && length < sizeof buffer) return std::string(buffer, length);
  if (length == 0) return path;
  std::string longer(length, '\0');
  length = GetFullPathNameA(path.c_str(), length, &longer[0], &name);
  longer.resize(length < longer.size() ? length : 0);
  return longer.empty() ? path : longer;
}

std::string ErrorText(DWORD error) {
  char buffer[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, buffer, sizeof buffer, nullptr);
  while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' ||
                        buffer[length - 1] == '.' || buffer[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "error " + std::to_string(error);
  return std::string(buffer, length);
}

std::string TemporaryName(const std::string& finalName) {
  // Unpredictable enough that a collision is rare; CREATE_NEW, not the
  // name, is what keeps another file from being used.
  static unsigned counter = 0;
  return "~" + finalName + "." + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++counter) + "-" + std::to_string(GetTickCount()) + ".tmp";
}

}  // namespace

bool LoadFile(const std::string& path, std::uint64_t limit, LoadedFile& file) {
  HANDLE in = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileType(in) == FILE_TYPE_DISK;
  DWORD high = 0;
  const DWORD low = ok ? GetFileSize(in, &high) : 0;
  if (ok && low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) ok = false;
  if (ok) {
    file.length = (static_cast<std::uint64_t>(high) << 32) | low;
    file.identity = IdentityOf(in);
    file.permissions = 0;
    file.bytes.clear();
    if (file.length <= limit) file.bytes.resize(static_cast<std::size_t>(file.length));
    for (std::size_t at = 0; ok && at < file.bytes.size();) {
      const std::size_t left = file.bytes.size() - at;
      DWORD got = 0;
      ok = ReadFile(in, &file.bytes[at], left < kIoPiece ? static_cast<DWORD>(left) : kIoPiece,
                    &got, nullptr) != 0 &&
           got > 0;
      at += got;
    }
  }
  CloseHandle(in);
  return ok;
}

ExistingOutput InspectOutput(const std::string& path) {
  ExistingOutput output;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) output.state = OutputState::Absent;
    return output;
  }
  constexpr DWORD kNeverReplaced =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE;
  if ((attributes & kNeverReplaced) != 0) return output;
  // No access asked for: only the identity is read, so a running flasher
  // under the name is inspected too.
  HANDLE existing = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing == INVALID_HANDLE_VALUE) return output;
  if (GetFileType(existing) == FILE_TYPE_DISK) {
    output.state = OutputState::Replaceable;
    output.identity = IdentityOf(existing);
  }
  CloseHandle(existing);
  return output;
}

bool SameName(const std::string& a, const std::string& b) {
  return lstrcmpiA(FullPath(a).c_str(), FullPath(b).c_str()) == 0;
}

TemporaryFile::~TemporaryFile() {
  Close();
  if (!gone_) DeleteFileA(path_.c_str());
}

void TemporaryFile::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool TemporaryFile::Create(const std::string& directory, const std::string& finalName, unsigned) {
  directory_ = directory;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    const std::string path = JoinPath(directory, TemporaryName(finalName));
    // Not shared: nobody else opens, renames or deletes it while it is written.
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(out);
    path_ = path;
    gone_ = false;
    return true;
  }
  return false;
}

bool TemporaryFile::Write(const unsigned char* data, std::size_t size, std::string& reason) {
  HANDLE out = AsHandle(handle_);
  handle_ = -1;
  if (out == INVALID_HANDLE_VALUE) {
    reason = ErrorText(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD error = NO_ERROR;
  while (error == NO_ERROR && size > 0) {
    DWORD put = 0;
    if (WriteFile(out, data, size < kIoPiece ? static_cast<DWORD>(size) : kIoPiece, &put,
                  nullptr) == 0) {
      error = GetLastError();
    } else if (put == 0) {
      error = ERROR_WRITE_FAULT;
    }
    data += put;
    size -= put;
  }
  // A power cut after "complete" must not leave a flasher that exists only
  // in the cache: the bytes reach the disk before the file gets its name.
  if (error == NO_ERROR && FlushFileBuffers(out) == 0) error = GetLastError();
  if (CloseHandle(out) == 0 && error == NO_ERROR) error = GetLastError();
  if (error != NO_ERROR) reason = ErrorText(error);
  return error == NO_ERROR;
}

MoveResult TemporaryFile::MoveTo(const std::string& finalPath) {
  return MoveTo(finalPath,
                win32::IsNtFamily() ? ReplaceMethod::OneStep : ReplaceMethod::DeleteThenMove);
}

MoveResult TemporaryFile::MoveTo(const std::string& finalPath, ReplaceMethod method) {
  Close();
  if (method == ReplaceMethod::OneStep) {
    if (MoveFileExA(path_.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
      return MoveResult::Failed;
    }
    gone_ = true;
    return MoveResult::Moved;
  }
  const bool oldExists = GetFileAttributesA(finalPath.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (oldExists && DeleteFileA(finalPath.c_str()) == 0) return MoveResult::Failed;
  if (MoveFileA(path_.c_str(), finalPath.c_str()) == 0) {
    if (!oldExists) return MoveResult::Failed;
    // The old flasher is gone: the new one must not go too.
    gone_ = true;
    path_ = FullPath(path_);
    return MoveResult::FailedKeptIt;
  }
  gone_ = true;
  return MoveResult::Moved;
}

}  // namespace build_file
