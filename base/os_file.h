#pragma once
// The few file-system services the core needs, one implementation per OS.
// Paths are UTF-8 everywhere.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kelmora {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

bool IsPathSeparator(char c);

class OsFile {
public:
    OsFile() = default;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;
    OsFile(OsFile&& other) noexcept;
    OsFile& operator=(OsFile&& other) noexcept;
    ~OsFile();

    // Opens for reading; other writers are denied where the platform can.
    // Throws KelmoraError "Cannot open file \"path\". reason".
    static OsFile OpenRead(const std::string& path);
    // Creates a file that must not exist yet, never through a link, without
    // sharing. Throws KelmoraError "Cannot create file \"shownPath\". reason".
    static OsFile CreateNew(const std::string& path, const std::string& shownPath);

    // Opens an existing regular file to change it in place, never through a link;
    // a file without any write permission is refused as read-only, whoever runs
    // this. Throws KelmoraError "Cannot open file \"path\" for writing. reason".
    static OsFile OpenUpdate(const std::string& path);
    // The changes below throw KelmoraError StreamWrite ("Stream write error:
    // \"path\". reason", the path made absolute) when the system fails.
    // Writes all of n bytes at offset.
    void WriteAt(std::uint64_t offset, const void* src, std::size_t n);
    // Waits until what was written is on the disk.
    void Sync();
    // Cuts the file (opened by OpenUpdate) to size bytes.
    void Truncate(std::uint64_t size);

    // Gives the file the permissions and, where the process may, the owner of the
    // regular file at path (a link there is not followed); nothing when there is none.
    void KeepAttributesOf(const std::string& path);

    std::uint64_t Size() const;
    // Returns the number of bytes read, fewer than n only at the end of the file.
    // Throws KelmoraError ReadFailed with the system's reason when it fails.
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const;
    // Writes all of n bytes after the last ones written.
    void Write(const void* src, std::size_t n);
    void Close();
    // Closes; throws as the writes do when not everything written reached the file system.
    void CloseChecked();

    const std::string& Path() const { return path_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::string path_;          // as opened, for the record of changes
    std::uint64_t appended_ = 0; // where the next Write goes
};

// The one writer of a file at a time. Kelmora's writers take it for the whole of
// an edit; readers never do and are never blocked. Held on the file itself (on
// Windows, as a lock on a byte far past any end, so that no read is refused).
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock();
    // Takes the lock of the file at path (links followed), without waiting. False
    // when another writer holds it, in this process or another. A file that path
    // stops naming while the lock is taken (replaced by a save) is taken again.
    // Throws KelmoraError CannotOpen when the file cannot be opened.
    static bool TryTake(const std::string& path, FileLock& lock);
    bool Held() const;
    void Release();
    // Just before the locked file is replaced by a rename. Windows replaces no
    // file that is open, so there the lock lets go of it now; elsewhere it holds
    // the old file until released, and a writer that comes later locks the new one.
    void ReleaseBeforeReplacing();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// True for an existing regular file that its user may not write: no write
// permission in its mode (for the superuser too), or the read-only attribute.
bool IsReadOnlyFile(const std::string& path);
// Makes the names in the folder that holds file durable: a create, rename or
// delete there survives a power cut once this returns. Throws KelmoraError
// StreamWrite when the system fails.
void SyncDirectoryOf(const std::string& file);

// Makes everything written to the file system that holds path durable, in one
// step: for a run of many outputs, which would cost a sync each. Throws
// KelmoraError StreamWrite when the system fails.
void SyncFileSystemOf(const std::string& path);

// What the file system was asked to change, for the tests that replay an edit as
// a power cut would leave it. Offsets and sizes in bytes; Data lives only for the call.
enum class FileEventKind { Create, Write, Truncate, Sync, Rename, Remove, SyncDirectory };
struct FileEvent {
    FileEventKind Kind = FileEventKind::Write;
    std::string Path{}, To{}; // To: a rename's new name
    std::uint64_t Offset = 0, Size = 0;
    const std::uint8_t* Data = nullptr;
};
using FileEventRecorder = std::function<void(const FileEvent&)>;
// Every change a file goes through is told to recorder from now on (none when empty).
void SetFileEventRecorder(FileEventRecorder recorder);
void RecordFileEvent(const FileEvent& event);
// Tests: reads of files whose path ends so fail as the device would (an I/O
// error); empty for none.
void SetFailingReads(const std::string& pathSuffix);
bool ReadFailsFor(const std::string& path);

// True for an existing file system entry that is not a directory; a link counts
// as existing, whatever it points at.
bool FileExists(const std::string& path);
// True for a regular file (after following links); false for FIFOs, devices,
// directories and what does not exist.
bool IsRegularFile(const std::string& path);
bool IsSymbolicLink(const std::string& path);
// Puts from in place of to in one step (a link at to is replaced, never
// followed). Throws KelmoraError StreamWrite naming to when that fails.
void MoveIntoPlace(const std::string& from, const std::string& to);
void RemoveFile(const std::string& path);
// The folder part of path with its trailing separator ("" for a bare name).
std::string FolderOfPath(const std::string& path);
// The system's text for the last failure of a file operation.
std::string LastSystemError();
// This process's id, and whether a process of that id still runs.
long CurrentProcessId();
bool ProcessAlive(long pid);
// True when the attributes can be read and carry the directory flag;
// a trailing separator does not matter.
bool DirectoryExists(const std::string& path);
// Creates one directory (an existing one is no failure). Throws KelmoraError
// CannotCreateDirectory with the system's reason.
void MakeDirectory(const std::string& path);
// The absolute form of path (not resolving links).
std::string AbsolutePath(const std::string& path);

#ifdef _WIN32
// The text forms the Windows API takes and gives: UTF-16 from and to UTF-8.
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
#endif

// The program's arguments in UTF-8. On Windows they are taken from the wide command
// line, since argv holds them in the system code page, which loses what it cannot
// show; elsewhere they are argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Makes standard output and error carry bytes as written: UTF-8 text shown as such
// by a console, and lines ending in a line feed alone, as on every system.
void PrepareStandardStreams();

// What makes a file itself, whatever name it is reached by: the device and the
// inode on POSIX systems, the volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t Device = 0, Index = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The modification time of the file path names, in nanoseconds; false when there is none.
bool ModifiedTimeOf(const std::string& path, std::int64_t& time);
// The identity of the file path names (links followed); false when there is none.
bool IdentityOf(const std::string& path, FileIdentity& identity);

} // namespace kelmora
