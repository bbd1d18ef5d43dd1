#include "lookup/PageParser.h"

#include <pcre.h>

#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "lookup/ByteSearch.h"
#include "text/CodePage936.h"

namespace lookup {

namespace {

// Releases what PCRE allocated (tables, compiled pattern) through its own deallocator.
struct PcreFree {
    void operator()(const void* p) const { (*pcre_free)(const_cast<void*>(p)); }
};
using PcreTables = std::unique_ptr<const unsigned char, PcreFree>;
using PcreCode = std::unique_ptr<pcre, PcreFree>;

// Room for the whole match and 99 groups, three ints each.
constexpr int kOffsetVectorSize = 300;

// A pattern of the shape literal, "(.*?)", literal: every match is the prefix, then bytes that
// are no newline bytes, then the tail, all on one line. That is what lets the matches be sought
// line by line (see LineByLine).
struct LineShape {
    std::string prefix;  // the bytes the first literal stands for (never empty)
    std::string tail;    // the bytes the second literal stands for (never empty)
    // PCRE counts calls of its internal match() per start position and fails with
    // PCRE_ERROR_MATCHLIMIT beyond the match limit. An attempt that gets through the prefix and
    // finds no tail on its line makes one call per byte behind the prefix up to the line's end,
    // plus this many (measured by MeasureOverhead).
    unsigned long overhead = 0;
};

// A pattern compiled with PCRE_NEWLINE_ANY against its own character tables, and its shape
// when it has the line-by-line one.
struct CompiledPattern {
    PcreTables tables;
    PcreCode code;
    std::optional<LineShape> shape;
};

// PCRE's metacharacters outside a character class.
bool IsMetacharacter(char c) {
    return std::string_view("\\^$.[|()?*+{").find(c) != std::string_view::npos;
}

// The bytes a piece of pattern text stands for when it is a plain literal: bytes that are
// neither metacharacters nor newline bytes, and a backslash before ASCII punctuation ("\/").
// Nothing for anything else.
std::optional<std::string> Literal(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (i + 1 == text.size()) {
                return std::nullopt;
            }
            const char e = text[++i];
            const bool punctuation = e >= 0x21 && e <= 0x7E && !(e >= '0' && e <= '9') &&
                                     !(e >= 'A' && e <= 'Z') && !(e >= 'a' && e <= 'z');
            if (!punctuation) {
                return std::nullopt;
            }
            bytes.push_back(e);
        } else if (IsMetacharacter(c) || bytes::IsAnyNewline(static_cast<unsigned char>(c))) {
            return std::nullopt;
        } else {
            bytes.push_back(c);
        }
    }
    return bytes;
}

// The prefix and tail of a pattern of the shape literal "(.*?)" literal, both non-empty.
std::optional<LineShape> ShapeOf(std::string_view pattern) {
    constexpr std::string_view kGroup = "(.*?)";
    for (std::size_t at = pattern.find(kGroup); at != std::string_view::npos;
         at = pattern.find(kGroup, at + 1)) {
        auto prefix = Literal(pattern.substr(0, at));
        auto tail = Literal(pattern.substr(at + kGroup.size()));
        if (prefix && tail && !prefix->empty() && !tail->empty()) {
            return LineShape{std::move(*prefix), std::move(*tail), 0};
        }
    }
    return std::nullopt;
}

// The fixed number of match() calls of a failing attempt (see LineShape::overhead), measured
// with small match limits on a prefix followed by filler bytes and a newline byte. Nothing when
// PCRE does not count as expected (one call per byte, the same at the subject's end as at a
// newline byte); the pattern then runs the plain loop.
//
// Before it tries a start position, PCRE looks for the pattern's last fixed byte (in the tail)
// behind it, and when a short subject lacks that byte it fails without counting anything. So
// the tail follows on a line of its own: it is there to be found, and cannot end a match.
std::optional<unsigned long> MeasureOverhead(const pcre* code, const LineShape& shape) {
    char filler = 0;
    for (char c = 0x21; c <= 0x7E && filler == 0; ++c) {
        if (shape.prefix.find(c) == std::string::npos && shape.tail.find(c) == std::string::npos) {
            filler = c;
        }
    }
    if (filler == 0) {
        return std::nullopt;
    }
    // The result of one attempt from the subject's start with `r` filler bytes behind the prefix.
    auto attempt = [&](unsigned long limit, unsigned long r, bool newlineAtEnd) {
        pcre_extra extra{};
        extra.flags = PCRE_EXTRA_MATCH_LIMIT;
        extra.match_limit = limit;
        int offsets[kOffsetVectorSize];
        const std::string subject =
            shape.prefix + std::string(r, filler) + (newlineAtEnd ? "\n" + shape.tail : "");
        return pcre_exec(code, &extra, subject.data(), static_cast<int>(subject.size()), 0,
                         PCRE_NOTEMPTY, offsets, kOffsetVectorSize);
    };
    // The fewest filler bytes behind the prefix for which the attempt exceeds `limit`.
    auto firstFailing = [&](unsigned long limit) -> std::optional<unsigned long> {
        for (unsigned long r = 0; r <= limit; ++r) {
            const int rc = attempt(limit, r, true);
            if (rc == PCRE_ERROR_MATCHLIMIT) {
                return r;
            }
            if (rc != PCRE_ERROR_NOMATCH) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    };
    constexpr unsigned long kLow = 64, kHigh = 96;
    const auto low = firstFailing(kLow);
    const auto high = firstFailing(kHigh);
    if (!low || !high || *low == 0 || *high != *low + (kHigh - kLow)) {
        return std::nullopt;
    }
    // Exceeded when r + overhead > limit; the first failing r is limit + 1 - overhead.
    const unsigned long overhead = kLow + 1 - *low;
    // The same count when the line ends at the subject's end, checked on a subject long enough
    // for PCRE to skip its look for the last fixed byte (it does so beyond 1,000 bytes).
    constexpr unsigned long kLong = 4096;
    const unsigned long atEnd = kLong + 1 - overhead;
    if (attempt(kLong, atEnd, false) != PCRE_ERROR_MATCHLIMIT ||
        attempt(kLong, atEnd - 1, false) != PCRE_ERROR_NOMATCH) {
        return std::nullopt;
    }
    return overhead;
}

CompiledPattern Compile(const std::string& pattern) {
    if (pattern.empty()) {
        throw std::runtime_error(
            "TPerlRegEx.Compile() - Please specify a regular expression in RegEx first");
    }
    PcreTables tables(pcre_maketables());
    if (!tables) {
        throw std::bad_alloc();
    }
    const char* error = nullptr;
    int errorOffset = 0;
    PcreCode code(
        pcre_compile(pattern.c_str(), PCRE_NEWLINE_ANY, &error, &errorOffset, tables.get()));
    if (!code) {
        throw std::runtime_error("TPerlRegEx.Compile() - Error in regex at offset " +
                                 std::to_string(errorOffset) + ": " + (error ? error : ""));
    }
    CompiledPattern compiled{std::move(tables), std::move(code), std::nullopt};
    unsigned long options = 0;
    pcre_fullinfo(compiled.code.get(), nullptr, PCRE_INFO_OPTIONS, &options);
    // The newline convention in force (a pattern may set its own with a leading "(*CR)" and the
    // like): only PCRE_NEWLINE_ANY has the newline bytes the line shape scans for.
    constexpr unsigned long kNewlineBits = PCRE_NEWLINE_CR | PCRE_NEWLINE_LF | PCRE_NEWLINE_ANY;
    if ((options & kNewlineBits) == PCRE_NEWLINE_ANY) {
        auto shape = ShapeOf(std::string_view(pattern.c_str()));  // up to a zero byte
        if (shape) {
            if (const auto overhead = MeasureOverhead(compiled.code.get(), *shape)) {
                shape->overhead = *overhead;
                compiled.shape = std::move(shape);
            }
        }
    }
    return compiled;
}

// Compiled patterns kept for the life of the process. The lookups use two fixed patterns on
// every page, and building the tables and compiling costs as much as the extraction itself. A
// compiled pattern is only read by pcre_exec, so threads share it; the cache holds a few
// patterns at most, and any further one is compiled for its call alone.
class PatternCache {
public:
    const CompiledPattern* Find(const std::string& pattern) {
        std::lock_guard lock(mutex_);
        const auto it = patterns_.find(pattern);
        return it == patterns_.end() ? nullptr : &it->second;
    }
    const CompiledPattern* Keep(const std::string& pattern, CompiledPattern& compiled) {
        std::lock_guard lock(mutex_);
        if (patterns_.size() >= kMaxPatterns) {
            return nullptr;
        }
        const auto [it, inserted] = patterns_.try_emplace(pattern, std::move(compiled));
        return &it->second;
    }

private:
    static constexpr std::size_t kMaxPatterns = 8;
    std::mutex mutex_;
    std::map<std::string, CompiledPattern, std::less<>> patterns_;
};

// The compiled pattern from the cache, or compiled into `own` when the cache is full.
const CompiledPattern& CompiledFor(const std::string& pattern, CompiledPattern& own) {
    static PatternCache cache;
    if (const CompiledPattern* cached = cache.Find(pattern)) {
        return *cached;
    }
    own = Compile(pattern);
    const CompiledPattern* kept = cache.Keep(pattern, own);
    return kept != nullptr ? *kept : own;
}

// Match options for pcre_exec: nothing (the library's match limit) or the given limit.
struct MatchLimit {
    explicit MatchLimit(unsigned long limit) {
        if (limit != 0) {
            extra.flags = PCRE_EXTRA_MATCH_LIMIT;
            extra.match_limit = limit;
            value = limit;
        } else {
            pcre_config(PCRE_CONFIG_MATCH_LIMIT, &value);
        }
    }
    const pcre_extra* Extra() const { return extra.flags != 0 ? &extra : nullptr; }

    pcre_extra extra{};
    unsigned long value = 0;
};

// Appends capture group 1 of a match, when it took part.
void AppendGroup(std::string& result, std::string_view page, int rc, const int* offsets) {
    if (rc >= 2 && offsets[2] >= 0) {
        result.append(page.data() + offsets[2], static_cast<std::size_t>(offsets[3] - offsets[2]));
    }
}

// The occurrences of one needle, left to right. A query at or behind the previous one reuses
// its answer while it still holds, so a walk whose queries only move forward scans the page
// about once.
class Occurrences {
public:
    Occurrences(std::string_view text, std::string_view needle) : text_(text), needle_(needle) {}

    // The first occurrence at or after `from`, or bytes::kNone.
    std::size_t From(std::size_t from) {
        if (from < searchedFrom_ || (found_ != bytes::kNone && found_ < from)) {
            found_ = bytes::Find(text_, needle_, from);
            searchedFrom_ = from;
        }
        return found_;
    }

private:
    std::string_view text_;
    std::string_view needle_;
    std::size_t searchedFrom_ = bytes::kNone;  // nothing searched yet
    std::size_t found_ = 0;
};

// RegexGroupText for a pattern of the line shape, with the plain loop's result.
//
// No match crosses a newline byte (the literals hold none and "." matches none), and every match
// ends with the tail. So on a line, every match lies before the end of the line's last tail,
// and a pcre_exec whose subject ends there finds, from any start, exactly the match the plain
// loop finds from that start, and behind that end there is none. A line without a tail is
// skipped. Searching the tails, the prefixes and the newline bytes forward once, the cost is
// linear in the page's size.
//
// The plain loop also stops at the first attempt that exceeds PCRE's match limit. Attempts that
// end in a match cost the same here. The others are attempts that get through the prefix and
// find no tail: they scan to the end of their line, so on each line the first of them costs the
// most, and it alone needs checking, by its cost (LineShape::overhead).
std::string LineByLine(std::string_view page, const pcre* code, const LineShape& shape,
                       const MatchLimit& limit) {
    const std::size_t n = page.size();
    const std::size_t prefixSize = shape.prefix.size();
    const std::size_t tailSize = shape.tail.size();
    Occurrences prefixes(page, shape.prefix);
    Occurrences tails(page, shape.tail);

    // Whether the plain loop stops for the match limit on the lines from `from` up to `to` (a
    // newline byte or the page's end), where it finds no match.
    auto limitReached = [&](std::size_t from, std::size_t to) {
        if (to - from < prefixSize || to - from - prefixSize + shape.overhead <= limit.value) {
            return false;  // too short for any attempt to reach the limit: the usual case
        }
        while (from < to) {
            const std::size_t p = prefixes.From(from);
            if (p == bytes::kNone || p >= to) {
                return false;
            }
            const std::size_t lineEnd = bytes::FindNewline(page, p + prefixSize, to);
            if (lineEnd - (p + prefixSize) + shape.overhead > limit.value) {
                return true;
            }
            from = lineEnd + 1;
        }
        return false;
    };

    std::string result;
    int offsets[kOffsetVectorSize];
    for (std::size_t pos = 0; pos < n;) {
        const std::size_t tail = tails.From(pos);
        if (tail == bytes::kNone) {
            break;  // no match ahead; stopping early or not, the result stays as it is
        }
        // The lines before the one that holds this tail hold no match.
        std::size_t start = pos;
        const std::size_t newline = bytes::FindLastNewline(page, pos, tail);
        if (newline != bytes::kNone) {
            if (limitReached(pos, newline)) {
                break;
            }
            start = newline + 1;
        }
        const std::size_t lineEnd = bytes::FindNewline(page, tail + tailSize, n);
        std::size_t lastTail = tail;
        for (std::size_t t = tails.From(lastTail + 1); t != bytes::kNone && t + tailSize <= lineEnd;
             t = tails.From(lastTail + 1)) {
            lastTail = t;
        }
        const int end = static_cast<int>(lastTail + tailSize);
        bool stop = false;
        // A match is the prefix, then the tail behind it: a line whose first prefix (from
        // start) does not end by its last tail holds none, and PCRE need not look (most lines
        // of a filing page that close a "</span></div>" hold no label).
        const std::size_t prefix = prefixes.From(start);
        const bool mayMatch = prefix != bytes::kNone && prefix + prefixSize <= lastTail;
        while (mayMatch && static_cast<int>(start) < end) {
            const int rc = pcre_exec(code, limit.Extra(), page.data(), end, static_cast<int>(start),
                                     PCRE_NOTEMPTY, offsets, kOffsetVectorSize);
            if (rc == PCRE_ERROR_NOMATCH) {
                break;
            }
            if (rc <= 0 || offsets[1] <= static_cast<int>(start)) {
                stop = true;
                break;
            }
            AppendGroup(result, page, rc, offsets);
            start = static_cast<std::size_t>(offsets[1]);
        }
        if (stop || limitReached(start, lineEnd)) {
            break;
        }
        pos = lineEnd + 1;
    }
    return result;
}

}  // namespace

std::optional<std::size_t> FindMarker(std::string_view page, std::string_view marker) {
    const std::string_view text = page.substr(0, page.find('\0'));
    if (text.empty() || marker.empty()) {
        return std::nullopt;
    }
    // The trail-byte test walks back over the lead bytes in front of an occurrence. A walk
    // stops where the previous one started, whose run length is known, so all walks together
    // cover the text at most once: walking back to the first non-lead byte each time would be
    // quadratic when many occurrences sit in one long run of lead bytes. `run` counts the lead
    // bytes immediately before offset `known`.
    std::size_t known = 0;
    std::size_t run = 0;
    for (std::size_t from = 0;;) {
        const std::size_t at = bytes::Find(text, marker, from);
        if (at == bytes::kNone) {
            return std::nullopt;
        }
        std::size_t j = at;
        while (j > known && text::cp936::IsLeadByte(static_cast<unsigned char>(text[j - 1]))) {
            --j;
        }
        run = j == known ? run + (at - known) : at - j;
        known = at;
        if (run % 2 == 0) {
            return at;
        }
        from = at + 1;  // the occurrence begins inside a double-byte character
    }
}

std::string TextBetween(std::string_view page, std::string_view startMarker,
                        std::string_view endMarker) {
    const auto start = FindMarker(page, startMarker);
    if (!start) {
        return {};
    }
    const auto end = FindMarker(page, endMarker);
    if (!end) {
        return {};
    }
    const std::size_t a = *start + startMarker.size();
    const std::size_t b = *end;
    if (b <= a) {
        return {};
    }
    return std::string(page.substr(a, b - a));
}

std::string RegexGroupTextPlain(std::string_view page, const std::string& pattern,
                                unsigned long matchLimit) {
    if (page.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("Page too large for the pattern matcher");
    }
    CompiledPattern own;  // holds a pattern the cache did not take, for this call
    const pcre* code = CompiledFor(pattern, own).code.get();
    const MatchLimit limit(matchLimit);

    std::string result;
    const int length = static_cast<int>(page.size());
    int offsets[kOffsetVectorSize];
    int next = 0;
    for (;;) {
        const int rc = pcre_exec(code, limit.Extra(), page.data(), length, next, PCRE_NOTEMPTY,
                                 offsets, kOffsetVectorSize);
        if (rc <= 0) {
            break;
        }
        AppendGroup(result, page, rc, offsets);
        // A match is never empty under PCRE_NOTEMPTY, so it ends behind `next`; the check only
        // guards against looping should that ever not hold.
        if (offsets[1] <= next) {
            break;
        }
        next = offsets[1];
    }
    return result;
}

std::string RegexGroupText(std::string_view page, const std::string& pattern,
                           unsigned long matchLimit) {
    if (page.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("Page too large for the pattern matcher");
    }
    CompiledPattern own;
    const CompiledPattern& compiled = CompiledFor(pattern, own);
    const MatchLimit limit(matchLimit);
    // Below this limit the plain loop's cheapest attempts could already exceed it; no caller
    // comes near it (PCRE's default is in the millions).
    constexpr unsigned long kLeastLineLimit = 64;
    if (!compiled.shape || limit.value < kLeastLineLimit) {
        return RegexGroupTextPlain(page, pattern, matchLimit);
    }
    return LineByLine(page, compiled.code.get(), *compiled.shape, limit);
}

}  // namespace lookup
