#include "lookup/PageParser.h"

#include <pcre.h>

#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "lookup/CodePage936.h"

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

// A pattern compiled with PCRE_NEWLINE_ANY against its own character tables.
struct CompiledPattern {
    PcreTables tables;
    PcreCode code;
};

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
    return {std::move(tables), std::move(code)};
}

// Compiled patterns kept for the life of the process. The lookups use two fixed patterns on
// every page, and building the tables and compiling took half the time of the extraction. A
// compiled pattern is only read by pcre_exec, so threads share it; the cache holds a few
// patterns at most, and any further one is compiled for its call alone.
class PatternCache {
public:
    const pcre* Find(const std::string& pattern) {
        std::lock_guard lock(mutex_);
        const auto it = patterns_.find(pattern);
        return it == patterns_.end() ? nullptr : it->second.code.get();
    }
    const pcre* Keep(const std::string& pattern, CompiledPattern& compiled) {
        std::lock_guard lock(mutex_);
        if (patterns_.size() >= kMaxPatterns) {
            return nullptr;
        }
        const auto [it, inserted] = patterns_.try_emplace(pattern, std::move(compiled));
        return it->second.code.get();
    }

private:
    static constexpr std::size_t kMaxPatterns = 8;
    std::mutex mutex_;
    std::map<std::string, CompiledPattern, std::less<>> patterns_;
};

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
        const std::size_t at = text.find(marker, from);
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        std::size_t j = at;
        while (j > known && cp936::IsLeadByte(static_cast<unsigned char>(text[j - 1]))) {
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

std::string RegexGroupText(std::string_view page, const std::string& pattern) {
    if (page.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("Page too large for the pattern matcher");
    }
    static PatternCache cache;
    const pcre* code = cache.Find(pattern);
    CompiledPattern own;  // holds a pattern the cache did not take, for this call
    if (code == nullptr) {
        own = Compile(pattern);
        code = cache.Keep(pattern, own);
        if (code == nullptr) {
            code = own.code.get();
        }
    }

    std::string result;
    const int length = static_cast<int>(page.size());
    int offsets[kOffsetVectorSize];
    int next = 0;
    for (;;) {
        const int rc = pcre_exec(code, nullptr, page.data(), length, next, PCRE_NOTEMPTY, offsets,
                                 kOffsetVectorSize);
        if (rc <= 0) {
            break;
        }
        if (rc >= 2 && offsets[2] >= 0) {
            result.append(page.data() + offsets[2],
                          static_cast<std::size_t>(offsets[3] - offsets[2]));
        }
        // A match is never empty under PCRE_NOTEMPTY, so it ends behind `next`; the check only
        // guards against looping should that ever not hold.
        if (offsets[1] <= next) {
            break;
        }
        next = offsets[1];
    }
    return result;
}

}  // namespace lookup
