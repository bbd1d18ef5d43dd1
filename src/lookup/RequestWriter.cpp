#include "lookup/RequestWriter.h"

#include <algorithm>

namespace lookup {

namespace {

// A header line made of two pieces, head then tail ("Cookie: " and the cookie list), read as
// one sequence of bytes without joining them: a long value is not copied before it is folded.
struct SplitLine {
    std::string_view head;
    std::string_view tail;

    std::size_t size() const { return head.size() + tail.size(); }
    char operator[](std::size_t i) const {
        return i < head.size() ? head[i] : tail[i - head.size()];
    }
    // Appends bytes [from, from + n) to out.
    void AppendTo(std::string& out, std::size_t from, std::size_t n) const {
        if (from < head.size()) {
            const std::size_t fromHead = std::min(n, head.size() - from);
            out.append(head.substr(from, fromHead));
            n -= fromHead;
            from = head.size();
        }
        out.append(tail.substr(from - head.size(), n));
    }
};

// Appends one header line, folded, to out. The work is one pass over the line: a fold looks
// back from the end of the next kFoldLength bytes for its break and moves on from there,
// never copying what is left of the line.
void AppendFolded(std::string& out, const SplitLine& line) {
    // continued: the rest goes out on a continuation line, behind the blank that opens it, and
    // that blank counts as the first of the line's kFoldLength bytes.
    bool continued = false;
    std::size_t pos = 0;  // where the rest of the line begins
    const std::size_t size = line.size();
    while (size - pos + (continued ? 1 : 0) > kFoldLength) {
        // The line as it would go out: at(i) is its i-th byte.
        auto at = [&](std::size_t i) {
            return continued ? (i == 0 ? ' ' : line[pos + i - 1]) : line[pos + i];
        };
        // A continuation line begins with its blank; breaking after that blank would not
        // shorten anything, so the break point is searched after it.
        const std::size_t from = at(0) == ' ' ? 1 : 0;
        std::size_t cut = std::string_view::npos;
        for (std::size_t i = kFoldLength; i-- > from;) {
            if (at(i) == ' ' || at(i) == ',') {
                cut = i;
                break;
            }
        }
        if (cut == std::string_view::npos) {
            break;  // nowhere to break: the line goes out long
        }
        // Bytes 0..cut of the line go out, then the rest on a continuation line.
        const std::size_t taken = continued ? cut : cut + 1;  // taken from the rest
        if (continued) {
            out += ' ';
        }
        line.AppendTo(out, pos, taken);
        out += "\r\n";
        pos += taken;
        continued = true;
    }
    if (continued) {
        out += ' ';
    }
    line.AppendTo(out, pos, size - pos);
    out += "\r\n";
}

}  // namespace

std::string FoldHeaderLine(std::string_view line) {
    std::string out;
    out.reserve(line.size() + line.size() / (kFoldLength / 2) * 3 + 2);
    AppendFolded(out, SplitLine{line, {}});
    return out;
}

std::string WriteRequestHead(std::string_view target, std::string_view hostHeader,
                             std::string_view cookieList) {
    std::string head;
    WriteRequestHead(head, target, hostHeader, cookieList);
    return head;
}

void WriteRequestHead(std::string& head, std::string_view target, std::string_view hostHeader,
                      std::string_view cookieList) {
    const std::size_t cookieBytes = cookieList.size() + cookieList.size() / (kFoldLength / 2) * 3;
    head.clear();
    head.reserve(256 + kRequestUserAgent.size() + target.size() + hostHeader.size() + cookieBytes);
    head += "GET ";
    head += target;
    head += " HTTP/1.1\r\n";
    auto header = [&](std::string_view name, std::string_view value) {
        std::string lineHead(name);
        lineHead += ": ";
        AppendFolded(head, SplitLine{lineHead, value});
    };
    header("Content-Type", kRequestContentType);
    header("Host", hostHeader);
    header("Accept", kRequestAccept);
    header("User-Agent", kRequestUserAgent);
    if (!cookieList.empty()) {
        header("Cookie", cookieList);
    }
    head += "\r\n";
}

}  // namespace lookup
