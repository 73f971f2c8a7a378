#include "base/os_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <cstdio>

#include "base/errors.h"

namespace kelmora {

std::wstring WideFromUtf8(const std::string& utf8) {
    if (utf8.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string Utf8FromWide(const std::wstring& w) {
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

namespace {


std::string SystemText(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring text = n ? std::wstring(buf, n) : std::wstring();
    if (buf)
        LocalFree(buf);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return Utf8FromWide(text);
}

[[noreturn]] void WriteFailed(const std::string& path, DWORD code) {
    throw KelmoraError(ErrorCode::StreamWrite, {.File = AbsolutePath(path), .Reason = SystemText(code)});
}

} // namespace

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

OsFile::OsFile(OsFile&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), appended_(other.appended_) {
    other.handle_ = nullptr;
}

OsFile& OsFile::operator=(OsFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        path_ = std::move(other.path_);
        appended_ = other.appended_;
        other.handle_ = nullptr;
    }
    return *this;
}

OsFile::~OsFile() { Close(); }

void OsFile::Close() {
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

OsFile OsFile::OpenRead(const std::string& path) {
    OsFile f;
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw KelmoraError(ErrorCode::CannotOpen, {.File = path, .Reason = SystemText(GetLastError())});
    f.handle_ = h;
    f.path_ = path;
    // A pipe or a device has no size to walk and may never end.
    if (GetFileType(h) != FILE_TYPE_DISK)
        throw KelmoraError(ErrorCode::NotRegularFile, {.File = path});
    return f;
}

OsFile OsFile::OpenUpdate(const std::string& path) {
    OsFile f;
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw KelmoraError(ErrorCode::ReadOnly, {.File = path});
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw KelmoraError(ErrorCode::CannotOpenForWriting, {.File = path, .Reason = SystemText(GetLastError())});
    f.handle_ = h;
    f.path_ = path;
    if (GetFileType(h) != FILE_TYPE_DISK ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        throw KelmoraError(ErrorCode::WriteToNonRegular, {.File = path});
    return f;
}

void OsFile::WriteAt(std::uint64_t offset, const void* src, std::size_t n) {
    RecordFileEvent({.Kind = FileEventKind::Write, .Path = path_, .Offset = offset, .Size = n,
                     .Data = static_cast<const std::uint8_t*>(src)});
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD chunk = static_cast<DWORD>((n - done) > 0x40000000u ? 0x40000000u : (n - done));
        DWORD put = 0;
        if (!WriteFile(handle_, in + done, chunk, &put, &ov) || put == 0)
            WriteFailed(path_, GetLastError());
        done += put;
    }
}

void OsFile::Truncate(std::uint64_t size) {
    RecordFileEvent({.Kind = FileEventKind::Truncate, .Path = path_, .Size = size});
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_))
        WriteFailed(path_, GetLastError());
}

void OsFile::Sync() {
    RecordFileEvent({.Kind = FileEventKind::Sync, .Path = path_});
    if (!FlushFileBuffers(handle_))
        WriteFailed(path_, GetLastError());
}

// New files take their folder's security, as a replaced file had; the read-only
// attribute is refused before any replacement (MoveIntoPlace).
void OsFile::KeepAttributesOf(const std::string&) {}

OsFile OsFile::CreateNew(const std::string& path, const std::string& shownPath) {
    OsFile f;
    // CREATE_NEW fails on any existing entry, links included.
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw KelmoraError(ErrorCode::CannotCreate, {.File = AbsolutePath(shownPath), .Reason = SystemText(GetLastError())});
    f.handle_ = h;
    f.path_ = path;
    RecordFileEvent({.Kind = FileEventKind::Create, .Path = path});
    return f;
}

void OsFile::CloseChecked() {
    if (!handle_)
        return;
    const BOOL ok = CloseHandle(handle_);
    handle_ = nullptr;
    if (!ok)
        WriteFailed(path_, GetLastError());
}

std::uint64_t OsFile::Size() const {
    LARGE_INTEGER size{};
    if (!handle_ || !GetFileSizeEx(handle_, &size))
        return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t OsFile::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (n > 0 && ReadFailsFor(path_))
        throw KelmoraError(ErrorCode::ReadFailed, {.File = path_, .Reason = SystemText(ERROR_CRC)});
    std::size_t done = 0;
    auto* out = static_cast<char*>(dst);
    while (done < n) {
        OVERLAPPED ov{};
        std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD chunk = static_cast<DWORD>((n - done) > 0x40000000u ? 0x40000000u : (n - done));
        DWORD got = 0;
        if (!ReadFile(handle_, out + done, chunk, &got, &ov)) {
            const DWORD err = GetLastError();
            if (err == ERROR_HANDLE_EOF)
                break;
            throw KelmoraError(ErrorCode::ReadFailed, {.File = path_, .Reason = SystemText(err)});
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

void OsFile::Write(const void* src, std::size_t n) {
    RecordFileEvent({.Kind = FileEventKind::Write, .Path = path_, .Offset = appended_, .Size = n,
                     .Data = static_cast<const std::uint8_t*>(src)});
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        DWORD chunk = static_cast<DWORD>((n - done) > 0x40000000u ? 0x40000000u : (n - done));
        DWORD put = 0;
        if (!WriteFile(handle_, in + done, chunk, &put, nullptr) || put == 0)
            WriteFailed(path_, GetLastError());
        done += put;
    }
    appended_ += done;
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesW(WideFromUtf8(path).c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
    // Directories open only with backup semantics; no access right is needed.
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (ok)
        identity = {info.dwVolumeSerialNumber,
                    static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return ok;
}

bool ModifiedTimeOf(const std::string& path, std::int64_t& time) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    const std::uint64_t ticks = static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                data.ftLastWriteTime.dwLowDateTime;
    time = static_cast<std::int64_t>(ticks) * 100;
    return true;
}

bool IsRegularFile(const std::string& path) {
    DWORD a = GetFileAttributesW(WideFromUtf8(path).c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool IsSymbolicLink(const std::string& path) {
    DWORD a = GetFileAttributesW(WideFromUtf8(path).c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
    RecordFileEvent({.Kind = FileEventKind::Rename, .Path = from, .To = to});
    // Windows refuses to replace a read-only file; say so the same way everywhere,
    // whatever the file system or emulation underneath does.
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(to).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        WriteFailed(to, ERROR_ACCESS_DENIED);
    if (!MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        WriteFailed(to, GetLastError());
}

void RemoveFile(const std::string& path) {
    RecordFileEvent({.Kind = FileEventKind::Remove, .Path = path});
    DeleteFileW(WideFromUtf8(path).c_str());
}

bool IsReadOnlyFile(const std::string& path) {
    const DWORD a = GetFileAttributesW(WideFromUtf8(path).c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) &&
           (a & FILE_ATTRIBUTE_READONLY);
}

// Renames are made with MOVEFILE_WRITE_THROUGH and files flushed before them:
// NTFS journals the names itself, and a folder cannot be flushed by its handle.
void SyncDirectoryOf(const std::string& file) {
    RecordFileEvent({.Kind = FileEventKind::SyncDirectory, .Path = FolderOfPath(file)});
}

// Windows flushes a volume only for its administrators: each rename of a run's
// outputs is written through instead (MoveIntoPlace).
void SyncFileSystemOf(const std::string&) {}

namespace {
// The byte a writer locks: far past any end, so that locking it refuses no read.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
} // namespace

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

FileLock::~FileLock() { Release(); }

bool FileLock::Held() const { return handle_ != nullptr; }

void FileLock::ReleaseBeforeReplacing() { Release(); }

void FileLock::Release() {
    if (handle_) {
        OVERLAPPED ov{};
        ov.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(handle_, 0, 1, 0, &ov);
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

bool FileLock::TryTake(const std::string& path, FileLock& lock) {
    lock.Release();
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw KelmoraError(ErrorCode::CannotOpen, {.File = path, .Reason = SystemText(GetLastError())});
    OVERLAPPED ov{};
    ov.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov)) {
        CloseHandle(h);
        return false;
    }
    lock.handle_ = h;
    return true;
}

std::string LastSystemError() { return SystemText(GetLastError()); }

long CurrentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessAlive(long pid) {
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return running;
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesW(WideFromUtf8(path).c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeDirectory(const std::string& path) {
    if (CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) || (GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path)))
        return;
    throw KelmoraError(ErrorCode::CannotCreateDirectory, {.File = AbsolutePath(path), .Reason = SystemText(GetLastError())});
}

std::string AbsolutePath(const std::string& path) {
    std::wstring w = WideFromUtf8(path);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return Utf8FromWide(full);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    if (!wide || n != argc) { // not the command line argv was made from
        if (wide)
            LocalFree(wide);
        args.assign(argv, argv + argc);
        return args;
    }
    for (int i = 0; i < n; ++i)
        args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
}

void PrepareStandardStreams() {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace kelmora
