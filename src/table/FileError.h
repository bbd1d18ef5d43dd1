#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace table {

// A file that could not be opened for reading or created for writing. what() is
// "Cannot open file "<full path>". <reason>" or "Cannot create file "<full path>". <reason>".
// The path is kept apart so that a window can show it in its own spelling (MessageFor).
class FileError : public std::runtime_error {
public:
    enum class Action { Open, Create };

    FileError(Action action, std::string fullPath, std::string reason);

    Action GetAction() const { return action_; }
    const std::string& FullPath() const { return fullPath_; }
    const std::string& Reason() const { return reason_; }

    // The same message with shownPath in place of the full path.
    std::string MessageFor(std::string_view shownPath) const;

private:
    Action action_;
    std::string fullPath_;
    std::string reason_;
};

// Writing to a file that was created failed; what() is "Stream write error".
class StreamWriteError : public std::runtime_error {
public:
    StreamWriteError();
};

// The system's description of errno value err in GBK, without trailing blanks, control
// characters and full stops. The system gives it in the character set of the current C locale
// (nl_langinfo(CODESET)), which is converted here.
std::string SystemErrorText(int err);

// name expanded to a full path against the current folder (".." is not folded away).
std::string FullPathOf(const std::string& name);

}  // namespace table
