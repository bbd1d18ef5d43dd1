#pragma once

#include <unistd.h>

#include <utility>

namespace text {

// Owns one POSIX file descriptor and closes it when it goes; Close() reports the close's
// own result for writers that must know whether their data reached the file.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes now; false when the close failed.
    bool Close() {
        if (fd_ < 0) {
            return true;
        }
        return ::close(std::exchange(fd_, -1)) == 0;
    }

private:
    int fd_;
};

}  // namespace text
