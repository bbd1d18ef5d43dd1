#include "table/DomainExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "table/FileError.h"
#include "text/FileDescriptor.h"

namespace table {

using text::FileDescriptor;

namespace {

[[noreturn]] void ThrowCreateError(const std::string& fileName, int err) {
    throw FileError(FileError::Action::Create, FullPathOf(fileName), SystemErrorText(err));
}

bool WriteAll(int fd, std::string_view text) {
    constexpr std::size_t kMaxWrite = std::size_t{1} << 30;
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), std::min(text.size(), kMaxWrite));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Empties an open regular file (or leaves a device as it is), writes text and closes it.
void WriteInPlace(FileDescriptor fd, std::string_view text, bool regular) {
    bool ok = !regular || ::ftruncate(fd.get(), 0) == 0;
    ok = ok && WriteAll(fd.get(), text);
    ok = ok && (!regular || ::fsync(fd.get()) == 0);
    ok = fd.Close() && ok;
    if (!ok) {
        throw StreamWriteError();
    }
}

// A new, empty file beside the target, created with the usual 0666 less the umask.
FileDescriptor CreateTemporary(const std::filesystem::path& folder, std::string& path, int& err) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = (folder / (".cy-export-" + std::to_string(::getpid()) + "-" +
                          std::to_string(serial++) + ".tmp"))
                   .string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return FileDescriptor(fd);
        }
        if (errno != EEXIST) {
            break;
        }
    }
    err = errno;
    return FileDescriptor();
}

// Failures of the folder that rewriting the target in place may get round.
bool FolderRefusesNewFile(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

void SyncFolder(const std::filesystem::path& folder) {
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());  // best effort: the rename is done either way
    }
}

// Writes text to a new file in real's folder and renames it over real. existing describes the
// target when there is one, and target is it opened for writing (or not valid).
void ReplaceFile(const std::string& fileName, const std::string& real, const struct stat* existing,
                 FileDescriptor target, std::string_view text) {
    std::filesystem::path folder = std::filesystem::path(real).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string tempPath;
    int err = 0;
    FileDescriptor temp = CreateTemporary(folder, tempPath, err);
    if (!temp.valid()) {
        if (target.valid() && FolderRefusesNewFile(err)) {
            WriteInPlace(std::move(target), text, true);
            return;
        }
        if (existing) {
            throw StreamWriteError();  // e.g. a full disk: the target stays as it is
        }
        ThrowCreateError(fileName, err);
    }

    bool ok = true;
    if (existing) {
        // Owner first: changing it may clear set-id bits, which the mode then restores.
        if (::fchown(temp.get(), existing->st_uid, existing->st_gid) != 0) {
            // Not permitted for an ordinary user on another's file; the new file is then ours.
        }
        ok = ::fchmod(temp.get(), existing->st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(temp.get(), text);
    ok = ok && ::fsync(temp.get()) == 0;
    ok = temp.Close() && ok;
    if (!ok) {
        ::unlink(tempPath.c_str());
        throw StreamWriteError();
    }
    if (::rename(tempPath.c_str(), real.c_str()) != 0) {
        const int renameErr = errno;
        ::unlink(tempPath.c_str());
        // A target that cannot be replaced but can be written (a file mounted on its own, a
        // sticky folder) is rewritten in place, as an ordinary save would.
        if (target.valid() && (FolderRefusesNewFile(renameErr) || renameErr == EBUSY)) {
            WriteInPlace(std::move(target), text, true);
            return;
        }
        throw StreamWriteError();
    }
    SyncFolder(folder);
}

}  // namespace

void BuildExportLines(const DomainTable& table, ExportKind kind, StagingMemo& memo) {
    std::string line;
    table.ForEachRow([&](const DomainRow& row) {
        const std::string& domain = row[Cell::Domain];
        const std::string& filingNo = row[Cell::FilingNo];
        const bool notFiled = filingNo == NotFiledMark;
        switch (kind) {
            case ExportKind::AllRows:
            case ExportKind::FiledRows:
                if (kind == ExportKind::FiledRows && notFiled) {
                    return;
                }
                line.assign(domain);
                line.append(ExportSeparator);
                line.append(filingNo);
                memo.AppendLine(line);
                return;
            case ExportKind::UnfiledDomains:
                if (notFiled) {
                    memo.AppendLine(domain);
                }
                return;
        }
    });
}

void WriteExportFile(const std::string& fileName, std::string_view text) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            ThrowCreateError(fileName, errno);
        }
        struct stat link {};
        if (::lstat(fileName.c_str(), &link) == 0) {
            // A link to a file that does not exist yet: create that file through the link.
            FileDescriptor fd(
                ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
            if (!fd.valid()) {
                ThrowCreateError(fileName, errno);
            }
            WriteInPlace(std::move(fd), text, true);
            return;
        }
        ReplaceFile(fileName, fileName, nullptr, FileDescriptor(), text);
        return;
    }

    // An existing name must be writable; opening it without truncation checks that and
    // changes nothing. Non-blocking, so a pipe without a reader fails instead of waiting.
    FileDescriptor target(::open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!target.valid()) {
        ThrowCreateError(fileName, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        const int flags = ::fcntl(target.get(), F_GETFL);
        if (flags >= 0) {
            ::fcntl(target.get(), F_SETFL, flags & ~O_NONBLOCK);
        }
        WriteInPlace(std::move(target), text, false);
        return;
    }
    std::string real = fileName;
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(fileName.c_str(), nullptr), &std::free);
    if (resolved) {
        real = resolved.get();
    }
    ReplaceFile(fileName, real, &st, std::move(target), text);
}

}  // namespace table
