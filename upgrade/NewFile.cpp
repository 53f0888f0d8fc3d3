#include "upgrade/NewFile.h"

#include "upgrade/FileOps.h"
#include "upgrade/Sha256.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {
// Gives the file open as `target` the access rules (the discretionary access list) of `like`. A
// file system that keeps none has none to give.
bool CopyAccessRules(const CString& like, HANDLE target) {
    DWORD needed = 0;
    ::GetFileSecurityA(like, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        return ::GetLastError() == ERROR_NOT_SUPPORTED;
    std::vector<BYTE> descriptor(needed);
    return ::GetFileSecurityA(like, DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                              &needed) &&
           ::SetKernelObjectSecurity(target, DACL_SECURITY_INFORMATION, descriptor.data());
}

// The attributes a file may be given, as SetFileAttributes takes them.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

LARGE_INTEGER Ticks(const FILETIME& time) {
    LARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = static_cast<LONG>(time.dwHighDateTime);
    return ticks;
}
} // namespace

NewFile::~NewFile() {
    (void)Wait();
}

Result NewFile::Wait() {
    if (m_finishing)
        ::WaitForSingleObject(m_finishing.Get(), INFINITE);
    m_finishing.Reset();
    if (m_finished || m_path.IsEmpty())
        return m_outcome;
    m_file.Reset();
    // A staged copy that cannot be deleted now is deleted by the next start's recovery.
    (void)RemoveFile(m_path);
    m_path = CString();
    return m_outcome;
}

DWORD WINAPI NewFile::FinishThread(void* file) {
    NewFile& self = *static_cast<NewFile*>(file);
    self.m_outcome = self.Finish(&self.m_lastWrite, self.m_like);
    return 0;
}

void NewFile::FinishLater(const FILETIME& lastWrite, const CString& like) {
    m_lastWrite = lastWrite;
    m_like = like;
    m_finishing.Reset(::CreateThread(nullptr, 0, FinishThread, this, 0, nullptr));
    if (!m_finishing)
        FinishThread(this);
}

Result NewFile::Create(const CString& path) {
    // A name taken already (ERROR_FILE_EXISTS) is not ours: never deleted.
    // The rights to change its access rules (Finish gives it the installed file's) and to rename it
    // through the handle that Finish may keep.
    Result created =
        AfxCreateNewFile(WideText(path.Str()), GENERIC_WRITE | WRITE_DAC | DELETE, 0, &m_file);
    if (created)
        m_path = path;
    return created;
}

Result NewFile::Write(const void* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(m_file.Get(), data, size, &written, nullptr))
        return LastError(m_path);
    return written == size ? Result() : Failed(m_path, ERROR_DISK_FULL);
}

Result NewFile::Finish(const FILETIME* lastWrite, const CString& like, FileHandle* keep) {
    WIN32_FILE_ATTRIBUTE_DATA old;
    const bool replaces = ::GetFileAttributesExA(like, GetFileExInfoStandard, &old) != FALSE;
    // Times and attributes in one call on the open file (a zero leaves one as it is). A read-only
    // attribute does not take the right to write from this handle.
    FILE_BASIC_INFO basic = {};
    if (replaces) {
        const DWORD attributes = old.dwFileAttributes & kSettableAttributes;
        basic.CreationTime = Ticks(old.ftCreationTime);
        basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    }
    if (lastWrite)
        basic.LastWriteTime = Ticks(*lastWrite);
    if (!::SetFileInformationByHandle(m_file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        (replaces && !CopyAccessRules(like, m_file.Get())) || !::FlushFileBuffers(m_file.Get()))
        return LastError(m_path);
    if (keep)
        *keep = std::move(m_file);
    m_file.Reset();
    m_finished = true;
    return {};
}

Result WriteNewFile(const CString& path, std::string_view bytes, const CString& like,
                    FileHandle* keep) {
    NewFile file;
    Result done = file.Create(path);
    if (done)
        done = file.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
    return done ? file.Finish(nullptr, like, keep) : done;
}

Result CopyToNewFile(const CString& source, const CString& target, const CString& like,
                     const PayloadDigest* expected, NewFile* out) {
    // The payload file itself, never what a link in the setup folder leads to.
    FileHandle in;
    if (Result opened = OpenPlainFile(source, GENERIC_READ, FILE_SHARE_READ, &in); !opened)
        return opened;
    LARGE_INTEGER size;
    FILETIME lastWrite;
    if (!::GetFileSizeEx(in.Get(), &size) || !::GetFileTime(in.Get(), nullptr, nullptr, &lastWrite))
        return LastError(source);
    if (Result created = out->Create(target); !created)
        return created;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyChunk]);
    if (!buffer)
        return Failed(source, ERROR_NOT_ENOUGH_MEMORY);
    Sha256 digest;
    if (expected && static_cast<unsigned long long>(size.QuadPart) != expected->size)
        return Failed(source, ERROR_FILE_CORRUPT);
    if (Result started = expected ? digest.Start() : Result(); !started)
        return started;
    long long copied = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(in.Get(), buffer.get(), kCopyChunk, &read, nullptr))
            return LastError(source);
        if (read == 0)
            break;
        if (Result written = out->Write(buffer.get(), read); !written)
            return written;
        if (Result added = expected ? digest.Add(buffer.get(), read) : Result(); !added)
            return added;
        copied += read;
    }
    if (copied != size.QuadPart)
        return Failed(source, ERROR_HANDLE_EOF);
    // The bytes written are the released file's, or the copy goes again.
    unsigned char written[32];
    if (Result finished = expected ? digest.Finish(written) : Result(); !finished)
        return finished;
    if (expected && std::memcmp(written, expected->sha256, sizeof written) != 0)
        return Failed(source, ERROR_FILE_CORRUPT);
    out->FinishLater(lastWrite, like);
    return {};
}
