#pragma once

#include <stdexcept>
#include <string>

namespace lookup {

// A lookup that failed: network, time limit, malformed or oversized response.
class LookupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The service answered, but not with a page: what() is the status line.
class HttpError : public LookupError {
public:
    HttpError(int status, const std::string& statusLine, std::string body)
        : LookupError(statusLine), status_(status), body_(std::move(body)) {}

    // The status code, or -1 when the status line holds no number there.
    int Status() const { return status_; }
    // The error page the service sent with the failure (possibly cut short).
    const std::string& Body() const { return body_; }

private:
    int status_;
    std::string body_;
};

}  // namespace lookup
