#include "table/FileError.h"

#include "text/CodePage936.h"

#include <langinfo.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace table {

namespace {

std::string Compose(FileError::Action action, std::string_view path, std::string_view reason) {
    std::string text =
        action == FileError::Action::Open ? "Cannot open file \"" : "Cannot create file \"";
    text.append(path);
    text.append("\". ");
    text.append(reason);
    return text;
}

}  // namespace

FileError::FileError(Action action, std::string fullPath, std::string reason)
    : std::runtime_error(Compose(action, fullPath, reason)),
      action_(action),
      fullPath_(std::move(fullPath)),
      reason_(std::move(reason)) {}

std::string FileError::MessageFor(std::string_view shownPath) const {
    return Compose(action_, shownPath, reason_);
}

StreamWriteError::StreamWriteError() : std::runtime_error("Stream write error") {}

std::string SystemErrorText(int err) {
    // std::generic_category gives strerror's text without its thread-safety trouble.
    std::string text = text::cp936::LocaleTextToGbk(
        std::error_code(err, std::generic_category()).message(), nl_langinfo(CODESET));
    // Safe on GBK bytes: a double-byte character's second byte is never below 0x40.
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.back());
        if (c == ' ' || c == '.' || c < 0x20 || c == 0x7F) {
            text.pop_back();
        } else {
            break;
        }
    }
    return text;
}

std::string FullPathOf(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(name, ec);
    return ec || name.empty() ? name : full.string();
}

}  // namespace table
