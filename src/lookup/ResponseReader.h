#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lookup/LookupError.h"
#include "lookup/LookupLimits.h"

namespace lookup {

// Reads one HTTP response from bytes handed to it in pieces of any size; knows nothing of
// sockets. The I/O layer feeds what arrives, tells it when the peer has closed, and asks when
// it is done.
//
// Lines end at LF (a CR right before it is dropped); a header line that begins with a blank or
// a tab continues the previous header. 100 blocks are skipped. The body is framed by a
// Content-Length above 0, else by "chunked" in Transfer-Encoding, else (Content-Length absent,
// negative or not a number) by the close of the connection; a Content-Length of 0 and a
// successful 204 give no body. A success is 2xx without a non-empty Location; every other
// response is a failure whose body is read by the same rules.
//
// Failures throw LookupError: a line of more than maxLine bytes before its LF ("Max line length
// exceeded."), header blocks over maxHeaderBlock bytes, a body over maxBody bytes, a close
// before the head is complete or inside a chunked body. After a throw the reader is spent.
class ResponseReader {
public:
    explicit ResponseReader(const LookupLimits& limits = {});

    // Consumes bytes up to the end of the response and returns how many it took; bytes after
    // the end are not taken.
    std::size_t Feed(std::string_view bytes);
    // The peer closed the connection: ends a body read to the close or cut short.
    void FeedEnd();

    // The final (non-100) header block has been read.
    bool HeadDone() const { return headDone_; }
    // The whole response has been read.
    bool Done() const { return state_ == State::Done; }

    // Valid once HeadDone().
    int Status() const { return status_; }
    const std::string& StatusLine() const { return statusLine_; }
    bool Success() const;
    // False when Connection or Proxy-Connection says "close" (blanks trimmed, any letter case).
    bool KeepAlive() const;
    // The first value of a header of the final block (name in any letter case), or "".
    std::string Header(std::string_view name) const;

    const std::string& Body() const { return body_; }
    std::string TakeBody() { return std::move(body_); }
    // Values of Set-Cookie and Set-Cookie2 headers of every block read since the last call.
    std::vector<std::string> TakeSetCookies() { return std::exchange(setCookies_, {}); }

private:
    enum class State {
        StatusLine,
        Headers,
        Body,  // exactly remaining_ more bytes
        BodyToClose,
        ChunkSize,
        ChunkData,  // remaining_ more bytes of the chunk
        ChunkEnd,   // the line after a chunk
        LastLine,   // the line after the last (size 0) chunk
        Done,
        Failed,
    };

    // Takes bytes of one line; returns true with line_ complete (LF and trailing CR removed).
    bool TakeLine(std::string_view& bytes, bool countsAsHead);
    void OnHeaderLine();
    void OnHeadEnd();
    void AppendBody(std::string_view bytes);
    // Takes up to remaining_ bytes of a sized body or chunk; moves to `next` once all came.
    void TakeSizedBody(std::string_view& bytes, State next);
    [[noreturn]] void Fail(const std::string& message, LookupError::Kind kind);

    LookupLimits limits_;
    State state_ = State::StatusLine;
    std::string line_;
    std::size_t headBytes_ = 0;
    bool headDone_ = false;
    int status_ = -1;
    std::string statusLine_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::vector<std::string> setCookies_;
    std::size_t remaining_ = 0;
    std::string body_;
};

}  // namespace lookup
