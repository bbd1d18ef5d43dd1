#include "lookup/ResponseReader.h"

#include <algorithm>

#include "lookup/LookupError.h"
#include "text/AsciiText.h"

namespace lookup {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The second blank-separated word as a decimal number, or -1.
int ParseStatus(std::string_view line) {
    std::size_t p = line.find(' ');
    if (p == std::string_view::npos) {
        return -1;
    }
    while (p < line.size() && line[p] == ' ') {
        ++p;
    }
    std::string_view word = line.substr(p);
    word = word.substr(0, word.find(' '));
    if (!text::AllDigits(word) || word.size() > 9) {
        return -1;
    }
    return std::stoi(std::string(word));
}

// Content-Length: -1 when absent, negative or not a number. A number beyond any body we would
// accept comes back as SIZE_MAX so the body cap rejects it.
long long ParseContentLength(std::string_view value) {
    value = text::Trim(value);
    if (value.empty()) {
        return -1;
    }
    if (value.front() == '-') {
        return -1;
    }
    if (!text::AllDigits(value)) {
        return -1;
    }
    if (value.size() > 18) {
        return static_cast<long long>(1) << 62;
    }
    return std::stoll(std::string(value));
}

// The chunk-size line's text up to the first blank as hexadecimal; anything else is 0.
std::size_t ParseChunkSize(std::string_view line, std::size_t tooBig) {
    line = line.substr(0, line.find(' '));
    if (line.empty()) {
        return 0;
    }
    std::size_t size = 0;
    for (char c : line) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return 0;
        }
        size = size * 16 + static_cast<std::size_t>(digit);
        if (size > tooBig) {
            return tooBig + 1;  // the body cap rejects it; no overflow
        }
    }
    return size;
}

}  // namespace

ResponseReader::ResponseReader(const LookupLimits& limits) : limits_(limits) {}

bool ResponseReader::Success() const {
    return status_ >= 200 && status_ <= 299 &&
           std::none_of(headers_.begin(), headers_.end(), [](const auto& h) {
               return text::EqualsNoCase(h.first, "Location") && !h.second.empty();
           });
}

bool ResponseReader::KeepAlive() const {
    for (const auto& [name, value] : headers_) {
        if ((text::EqualsNoCase(name, "Connection") ||
             text::EqualsNoCase(name, "Proxy-Connection")) &&
            text::EqualsNoCase(text::Trim(value), "close")) {
            return false;
        }
    }
    return true;
}

std::string ResponseReader::Header(std::string_view name) const {
    for (const auto& h : headers_) {
        if (text::EqualsNoCase(h.first, name)) {
            return h.second;
        }
    }
    return {};
}

void ResponseReader::Fail(const std::string& message, LookupError::Kind kind) {
    state_ = State::Failed;
    throw LookupError(message, kind);
}

bool ResponseReader::TakeLine(std::string_view& bytes, bool countsAsHead) {
    const std::size_t lf = bytes.find('\n');
    const std::size_t take = lf == std::string_view::npos ? bytes.size() : lf;
    if (line_.size() + take > limits_.maxLine) {
        Fail("Max line length exceeded.", LookupError::Kind::SizeCap);
    }
    const std::size_t consumed = take + (lf == std::string_view::npos ? 0 : 1);
    if (countsAsHead) {
        headBytes_ += consumed;
        if (headBytes_ > limits_.maxHeaderBlock) {
            Fail("Response header exceeds " + std::to_string(limits_.maxHeaderBlock) + " bytes.",
                 LookupError::Kind::SizeCap);
        }
    }
    line_.append(bytes.substr(0, take));
    bytes.remove_prefix(consumed);
    if (lf == std::string_view::npos) {
        return false;
    }
    if (!line_.empty() && line_.back() == '\r') {
        line_.pop_back();
    }
    return true;
}

void ResponseReader::OnHeaderLine() {
    if (IsBlank(line_.front())) {
        if (!headers_.empty()) {
            std::string& value = headers_.back().second;
            const std::string_view more = text::Trim(line_);
            if (!value.empty() && !more.empty()) {
                value += ' ';
            }
            value += more;
        }
        return;
    }
    const std::size_t colon = line_.find(':');
    const std::string_view line = line_;
    if (colon == std::string::npos) {
        headers_.emplace_back(std::string(text::Trim(line)), std::string());
    } else {
        headers_.emplace_back(std::string(text::Trim(line.substr(0, colon))),
                              std::string(text::Trim(line.substr(colon + 1))));
    }
}

void ResponseReader::OnHeadEnd() {
    for (const auto& [name, value] : headers_) {
        if (text::EqualsNoCase(name, "Set-Cookie") || text::EqualsNoCase(name, "Set-Cookie2")) {
            setCookies_.push_back(value);
        }
    }
    if (status_ == 100) {
        headers_.clear();
        state_ = State::StatusLine;
        return;
    }
    headDone_ = true;
    if (status_ == 204 && Success()) {
        state_ = State::Done;
        return;
    }
    const long long length = ParseContentLength(Header("Content-Length"));
    if (length > 0) {
        if (static_cast<unsigned long long>(length) > limits_.maxBody) {
            Fail("Response body exceeds " + std::to_string(limits_.maxBody) + " bytes.",
                 LookupError::Kind::SizeCap);
        }
        remaining_ = static_cast<std::size_t>(length);
        body_.reserve(std::min<std::size_t>(remaining_, 1 << 20));
        state_ = State::Body;
    } else if (Header("Transfer-Encoding").find("chunked") != std::string::npos) {
        state_ = State::ChunkSize;
    } else if (length < 0) {
        state_ = State::BodyToClose;
    } else {
        state_ = State::Done;
    }
}

void ResponseReader::TakeSizedBody(std::string_view& bytes, State next) {
    const std::size_t n = std::min(remaining_, bytes.size());
    AppendBody(bytes.substr(0, n));
    bytes.remove_prefix(n);
    remaining_ -= n;
    if (remaining_ == 0) {
        state_ = next;
    }
}

void ResponseReader::AppendBody(std::string_view bytes) {
    if (body_.size() + bytes.size() > limits_.maxBody) {
        Fail("Response body exceeds " + std::to_string(limits_.maxBody) + " bytes.",
             LookupError::Kind::SizeCap);
    }
    body_.append(bytes);
}

std::size_t ResponseReader::Feed(std::string_view bytes) {
    const std::size_t total = bytes.size();
    while (!bytes.empty()) {
        switch (state_) {
            case State::StatusLine:
                if (TakeLine(bytes, true)) {
                    statusLine_ = std::move(line_);
                    line_.clear();
                    status_ = ParseStatus(statusLine_);
                    state_ = State::Headers;
                }
                break;
            case State::Headers:
                if (TakeLine(bytes, true)) {
                    if (line_.empty()) {
                        OnHeadEnd();
                    } else {
                        OnHeaderLine();
                        line_.clear();
                    }
                }
                break;
            case State::Body:
                TakeSizedBody(bytes, State::Done);
                break;
            case State::BodyToClose:
                AppendBody(bytes);
                bytes = {};
                break;
            case State::ChunkSize:
                if (TakeLine(bytes, false)) {
                    remaining_ = ParseChunkSize(line_, limits_.maxBody);
                    line_.clear();
                    if (remaining_ > limits_.maxBody - body_.size()) {
                        Fail("Response body exceeds " + std::to_string(limits_.maxBody) + " bytes.",
                             LookupError::Kind::SizeCap);
                    }
                    state_ = remaining_ > 0 ? State::ChunkData : State::LastLine;
                }
                break;
            case State::ChunkData:
                TakeSizedBody(bytes, State::ChunkEnd);
                break;
            case State::ChunkEnd:
            case State::LastLine:
                if (TakeLine(bytes, false)) {
                    line_.clear();
                    state_ = state_ == State::ChunkEnd ? State::ChunkSize : State::Done;
                }
                break;
            case State::Done:
                return total - bytes.size();
            case State::Failed:
                throw LookupError("Response reader used after a failure.");
        }
    }
    return total - bytes.size();
}

void ResponseReader::FeedEnd() {
    switch (state_) {
        case State::Body:
        case State::BodyToClose:
            state_ = State::Done;  // a body cut short by the close is still the body
            return;
        case State::Done:
            return;
        case State::Failed:
            throw LookupError("Response reader used after a failure.");
        default:
            Fail("Connection closed gracefully.", LookupError::Kind::Dropped);
    }
}

}  // namespace lookup
