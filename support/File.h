// File handles, retrying opens, lock files and the bounded path functions.
//
// Sharing modes are kept between handles (in this and other processes) with flock: a reader
// or writer holds a shared lock, an exclusive open holds an exclusive one, and a conflict is
// reported as a sharing violation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace sonvex {

// Longest path the program handles (the system's limit less its terminating zero); a longer
// one is refused as "path too long", never cut.
inline constexpr size_t kMaxPath = 4095;

class LFile {
public:
    enum class Mode {
        Read,              // read; others may read and write; must exist
        Write,             // read and write; others may read; create or truncate
        ExclusiveRewrite,  // read and write; others nothing; create or truncate
        ExclusiveRead,     // read; others nothing; must exist
    };
    enum class Origin { Begin, Current, End };
    enum class OpenError { None, NotFound, SharingViolation, Other };

    LFile() = default;
    ~LFile() { Close(); }
    LFile(const LFile&) = delete;
    LFile& operator=(const LFile&) = delete;
    LFile(LFile&& other) noexcept;
    LFile& operator=(LFile&& other) noexcept;

    bool Open(std::string_view path, Mode mode);
    OpenError LastOpenError() const { return eOpenError_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    // Byte counts actually transferred (0 on failure or when not open).
    int64_t Read(void* p, int64_t n);
    int64_t Write(const void* p, int64_t n);
    bool ReadExact(void* p, int64_t n) { return Read(p, n) == n; }
    bool WriteExact(const void* p, int64_t n) { return Write(p, n) == n; }

    void Seek(int64_t offset, Origin origin = Origin::Begin);
    int64_t Tell();              // 0 on failure
    int64_t GetFileSizeBytes();  // 0 on failure
    bool Truncate();             // end the file at the current position
    int Fd() const { return fd_; }

    // Path functions. They return false (output untouched) where the result would not fit
    // in kMaxPath characters.
    static bool _ApplyNewFileExtension(std::string& out, std::string_view path,
                                       std::string_view ext);
    static std::string _GetFolderFromPath(std::string_view path);
    static std::string _GetFileFromPath(std::string_view path);
    static bool FilePathCat(std::string& folder, std::string_view name);

    // Data folders (XDG).
    static std::string GetUserDocumentsFolder();
    static std::string GetUserDataFolder();
    static std::string GetSharedDataFolder();
    static std::string GetTempFolder();

    static bool DeleteFolderAndFiles(const std::string& folder);

private:
    int fd_ = -1;
    OpenError eOpenError_ = OpenError::None;
};

inline bool IsPathSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string GetExtension(std::string_view path);
// A folder of user-dirs.dirs ("XDG_DESKTOP_DIR"), "$HOME" expanded; empty when not named.
std::string ReadXdgUserDir(std::string_view name);
std::string _GetFileTitleFromPath(std::string_view path);
bool FilePathCatExt(std::string& folder, std::string_view name, std::string_view ext);
bool DeleteFolderTree(const std::string& folder);

// Opens with the mode; on a sharing violation retries within a time budget.
bool OpenWithRetry(LFile& file, std::string_view path, LFile::Mode mode, int budgetMs);
// True when someone else holds the file open.
bool TestFileOpen(std::string_view path);
// True when both paths name the same existing file (links followed).
bool SameFile(std::string_view a, std::string_view b);

// A ".lck" file beside a guarded file; removed when released.
class LLockFile {
public:
    LLockFile() = default;
    ~LLockFile() { Release(); }
    LLockFile(const LLockFile&) = delete;
    LLockFile& operator=(const LLockFile&) = delete;

    // False only when another holder has the lock.
    bool Lock(std::string_view guardedPath);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    std::string szLockPath_;
};

}  // namespace sonvex
