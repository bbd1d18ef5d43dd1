#pragma once

#include <stdexcept>
#include <string>

namespace lookup {

// A lookup that failed: network, time limit, malformed or oversized response. what() is the
// system's own text; Kind says what went wrong, for the reason the window shows on the row.
class LookupError : public std::runtime_error {
public:
    enum class Kind {
        Other,            // anything not below (a bad URL, an unexpected socket error)
        Refused,          // the service's host refused the connection
        NameNotFound,     // the service's host name did not resolve
        ConnectFailed,    // the connection failed otherwise (no route, network down)
        ConnectTimeout,   // resolving and connecting took longer than their limit
        WriteTimeout,     // the request could not be sent in time
        ReadTimeout,      // the service stopped sending in the middle of the response
        ExchangeTimeout,  // the whole exchange took longer than its limit
        Status,           // the service answered with something other than a page
        SizeCap,          // a line, the head or the body went over its bound
        Malformed,        // the response broke HTTP's rules
        Dropped,          // the service closed the connection before the response was complete
        Stopped,          // the exchange was cut off by LookupClient::Abort
    };

    explicit LookupError(const std::string& what, Kind kind = Kind::Other)
        : std::runtime_error(what), kind_(kind) {}

    Kind GetKind() const { return kind_; }

private:
    Kind kind_;
};

// The service answered, but not with a page: what() is the status line.
class HttpError : public LookupError {
public:
    HttpError(int status, const std::string& statusLine, std::string body)
        : LookupError(statusLine, Kind::Status), status_(status), body_(std::move(body)) {}

    // The status code, or -1 when the status line holds no number there.
    int Status() const { return status_; }
    // The error page the service sent with the failure (possibly cut short).
    const std::string& Body() const { return body_; }

private:
    int status_;
    std::string body_;
};

}  // namespace lookup
