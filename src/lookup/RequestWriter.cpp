#include "lookup/RequestWriter.h"

namespace lookup {

std::string FoldHeaderLine(std::string_view line) {
    std::string out;
    out.reserve(line.size() + 2);
    std::string rest(line);
    while (rest.size() > kFoldLength) {
        // A continuation line begins with its blank; breaking after that blank would not
        // shorten anything, so the break point is searched after it.
        const std::size_t from = rest.front() == ' ' ? 1 : 0;
        std::size_t cut = std::string::npos;
        for (std::size_t i = kFoldLength; i-- > from;) {
            if (rest[i] == ' ' || rest[i] == ',') {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos) {
            break;  // nowhere to break: the line goes out long
        }
        out.append(rest, 0, cut + 1);
        out += "\r\n";
        rest = " " + rest.substr(cut + 1);
    }
    out += rest;
    out += "\r\n";
    return out;
}

std::string WriteRequestHead(std::string_view target, std::string_view hostHeader,
                             std::string_view cookieList) {
    std::string head;
    head.reserve(256 + target.size() + hostHeader.size() + cookieList.size());
    head += "GET ";
    head += target;
    head += " HTTP/1.1\r\n";
    auto header = [&head](std::string_view name, std::string_view value) {
        std::string line(name);
        line += ": ";
        line += value;
        head += FoldHeaderLine(line);
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
