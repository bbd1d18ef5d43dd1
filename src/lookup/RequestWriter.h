#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lookup {

// The lookup client's fixed header values.
inline constexpr std::string_view kRequestContentType = "text/html";
inline constexpr std::string_view kRequestAccept = "text/html, */*";
inline constexpr std::string_view kRequestUserAgent =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.30; CIBA; MAXTHON 2.0)";

// Header lines longer than this are folded.
inline constexpr std::size_t kFoldLength = 1024;

// The whole request head of one GET, ready for a single write: request line, Content-Type,
// Host, Accept, User-Agent, Cookie (only when cookieList is not empty), the empty line; CR LF
// after every line.
std::string WriteRequestHead(std::string_view target, std::string_view hostHeader,
                             std::string_view cookieList);
// The same, written into `head` in place of what it held. Its capacity is kept, so a client that
// writes every request into one string allocates only when a head outgrows the ones before.
void WriteRequestHead(std::string& head, std::string_view target, std::string_view hostHeader,
                      std::string_view cookieList);

// One header line ("Name: value", without line end) as it goes on the wire: a line longer than
// kFoldLength bytes is broken after the last blank or comma within its first kFoldLength bytes
// and continues on a new line that begins with one blank, as often as needed. Lines end with
// CR LF.
std::string FoldHeaderLine(std::string_view line);

}  // namespace lookup
