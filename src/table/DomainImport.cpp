#include "table/DomainImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "table/FileError.h"
#include "text/FileDescriptor.h"

namespace table {

using text::FileDescriptor;

namespace {

[[noreturn]] void ThrowOpenError(const std::string& fileName, int err) {
    throw FileError(FileError::Action::Open, FullPathOf(fileName), SystemErrorText(err));
}

}  // namespace

std::string ReadDomainFile(const std::string& fileName) {
    const FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        ThrowOpenError(fileName, errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        ThrowOpenError(fileName, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        ThrowOpenError(fileName, EISDIR);
    }
    const bool regular = S_ISREG(st.st_mode);
    if (regular && static_cast<std::uintmax_t>(st.st_size) > StagingMemo::kCapacityBytes) {
        throw MemoCapacityExceeded();
    }

    // A regular file is read in one piece of its own size (plus one byte, to see its end
    // without growing the buffer); a pipe or device in steps, never beyond the capacity.
    constexpr std::size_t kStep = std::size_t{1} << 20;
    std::string bytes;
    bytes.reserve(regular ? static_cast<std::size_t>(st.st_size) + 1 : kStep);
    for (;;) {
        const std::size_t have = bytes.size();
        if (have > StagingMemo::kCapacityBytes) {
            throw MemoCapacityExceeded();
        }
        if (have == bytes.capacity()) {
            bytes.reserve(std::min(have + kStep, StagingMemo::kCapacityBytes + 1));
        }
        bytes.resize(bytes.capacity());
        const std::size_t asked = bytes.size() - have;
        const ssize_t got = ::read(fd.get(), bytes.data() + have, asked);
        const int err = errno;
        bytes.resize(have + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got < 0) {
            if (err == EINTR) {
                continue;
            }
            if (err == EAGAIN || err == EWOULDBLOCK) {
                break;  // nothing waiting now: the pipe or device has given what it had
            }
            ThrowOpenError(fileName, err);
        }
        if (got == 0) {
            break;
        }
        if (const void* zero = std::memchr(bytes.data() + have, 0, static_cast<std::size_t>(got))) {
            bytes.resize(static_cast<const char*>(zero) - bytes.data());
            break;
        }
        if (!regular && static_cast<std::size_t>(got) < asked) {
            // A pipe has given what was waiting in it; a writer that keeps it full must not
            // keep the import reading.
            break;
        }
    }
    return bytes;
}

void LoadDomainFile(const std::string& fileName, StagingMemo& memo) {
    memo.Clear();
    memo.Load(ReadDomainFile(fileName));
}

void ImportDomainFile(const std::string& fileName, StagingMemo& memo, DomainTable& table) {
    LoadDomainFile(fileName, memo);
    const std::vector<std::string_view> lines = memo.Lines();
    table.AppendDomainRows(lines);
}

}  // namespace table
