#include "lookup/RequestWriter.h"

namespace lookup {

namespace {

// Appends one header line, folded, to out. The work is one pass over the line: a fold looks
// back from the end of the next kFoldLength bytes for its break and moves on from there,
// never copying what is left of the line.
void AppendFolded(std::string& out, std::string_view line) {
    // continued: the rest goes out on a continuation line, behind the blank that opens it, and
    // that blank counts as the first of the line's kFoldLength bytes.
    bool continued = false;
    std::string_view rest = line;
    while (rest.size() + (continued ? 1 : 0) > kFoldLength) {
        // The line as it would go out: at(i) is its i-th byte.
        auto at = [&](std::size_t i) { return continued ? (i == 0 ? ' ' : rest[i - 1]) : rest[i]; };
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
        const std::size_t taken = continued ? cut : cut + 1;  // taken from rest
        if (continued) {
            out += ' ';
        }
        out.append(rest.substr(0, taken));
        out += "\r\n";
        rest.remove_prefix(taken);
        continued = true;
    }
    if (continued) {
        out += ' ';
    }
    out.append(rest);
    out += "\r\n";
}

}  // namespace

std::string FoldHeaderLine(std::string_view line) {
    std::string out;
    out.reserve(line.size() + line.size() / (kFoldLength / 2) * 3 + 2);
    AppendFolded(out, line);
    return out;
}

std::string WriteRequestHead(std::string_view target, std::string_view hostHeader,
                             std::string_view cookieList) {
    const std::size_t cookieBytes = cookieList.size() + cookieList.size() / (kFoldLength / 2) * 3;
    std::string head;
    head.reserve(256 + kRequestUserAgent.size() + target.size() + hostHeader.size() + cookieBytes);
    head += "GET ";
    head += target;
    head += " HTTP/1.1\r\n";
    std::string line;
    auto header = [&](std::string_view name, std::string_view value) {
        line.assign(name);
        line += ": ";
        line += value;
        AppendFolded(head, line);
    };
    header("Content-Type", kRequestContentType);
    header("Host", hostHeader);
    header("Accept", kRequestAccept);
    header("User-Agent", kRequestUserAgent);
    if (!cookieList.empty()) {
        header("Cookie", cookieList);
    }
    head += "\r\n";
    return head;
}

}  // namespace lookup
