#include "table/StagingMemo.h"

#include "text/CodePage936.h"

#include <algorithm>
#include <cstring>

namespace table {

using text::cp936::IsLeadByte;

MemoCapacityExceeded::MemoCapacityExceeded() : std::length_error("Text exceeds memo capacity") {}

void StagingMemo::Clear() {
    // Give the memory back as well: the memo may have held a whole file.
    std::string().swap(text_);
    std::vector<std::uint32_t>().swap(breaks_);
}

void StagingMemo::Load(std::string_view bytes) {
    Clear();
    if (const void* zero = std::memchr(bytes.data(), 0, bytes.size())) {
        bytes = bytes.substr(0, static_cast<const char*>(zero) - bytes.data());
    }
    if (bytes.size() > kCapacityBytes) {
        throw MemoCapacityExceeded();
    }

    // First pass: where the breaks are in the input, and how many lone CRs and LFs grow into
    // CR LF. Double-byte characters are stepped over whole.
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::vector<std::uint32_t> breaks;
    std::size_t grown = 0;
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = in[i];
        if (b == '\r' || b == '\n') {
            if (breaks.size() >= kCapacityLines) {
                throw MemoCapacityExceeded();
            }
            breaks.push_back(static_cast<std::uint32_t>(i));
            if (b == '\r' && i + 1 < n && in[i + 1] == '\n') {
                i += 2;
            } else {
                ++grown;
                ++i;
            }
        } else {
            i += IsLeadByte(b) ? 2 : 1;
        }
    }
    const auto breakWidth = [&](std::size_t at) -> std::size_t {
        return in[at] == '\r' && at + 1 < n && in[at + 1] == '\n' ? 2 : 1;
    };
    const bool endsWithBreak = !breaks.empty() && breaks.back() + breakWidth(breaks.back()) == n;
    const std::size_t lines = breaks.size() + (n > 0 && !endsWithBreak ? 1 : 0);
    if (n + grown > kCapacityBytes || lines > kCapacityLines) {
        throw MemoCapacityExceeded();
    }

    // Second pass: copy the runs between breaks, each break written as CR LF; the break list
    // turns into offsets of the CRs in the new text.
    std::string text;
    text.reserve(n + grown);
    std::size_t from = 0;
    for (std::uint32_t& at : breaks) {
        text.append(bytes.data() + from, at - from);
        from = at + breakWidth(at);
        at = static_cast<std::uint32_t>(text.size());
        text.append("\r\n", 2);
    }
    text.append(bytes.data() + from, n - from);

    text_ = std::move(text);
    breaks_ = std::move(breaks);
}

bool StagingMemo::EndsWithBreak() const {
    return !breaks_.empty() && breaks_.back() + std::size_t{2} == text_.size();
}

std::size_t StagingMemo::LineCount() const {
    if (text_.empty()) {
        return 0;
    }
    return breaks_.size() + (EndsWithBreak() ? 0 : 1);
}

std::string_view StagingMemo::Line(std::size_t i) const {
    if (i >= LineCount()) {
        throw std::out_of_range("No such line in the memo");
    }
    const std::size_t start = i == 0 ? 0 : breaks_[i - 1] + std::size_t{2};
    const std::size_t end = i < breaks_.size() ? breaks_[i] : text_.size();
    const std::string_view line(text_.data() + start, end - start);
    return line.substr(0, text::cp936::WholeCharactersWithin(line, kMaxLineBytes));
}

std::vector<std::string_view> StagingMemo::Lines() const {
    const std::size_t count = LineCount();
    std::vector<std::string_view> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(Line(i));
    }
    return lines;
}

void StagingMemo::IndexRange(std::size_t from, std::size_t to) {
    const auto* p = reinterpret_cast<const unsigned char*>(text_.data());
    for (std::size_t i = from; i < to;) {
        const unsigned char b = p[i];
        if (b == '\r' && i + 1 < to && p[i + 1] == '\n') {
            breaks_.push_back(static_cast<std::uint32_t>(i));
            i += 2;
        } else {
            i += IsLeadByte(b) ? 2 : 1;
        }
    }
}

void StagingMemo::AppendLine(std::string_view s) {
    if (s.size() + 2 > kCapacityBytes - text_.size()) {
        throw MemoCapacityExceeded();
    }
    const std::size_t oldSize = text_.size();
    const std::size_t oldBreaks = breaks_.size();
    try {
        // The CR LF added here is a break whatever s ends with (even a lone lead byte), so the
        // text is always each appended line followed by CR LF. Breaks inside s are those of s
        // read on its own.
        if (text_.empty() || EndsWithBreak()) {
            text_.append(s);
            IndexRange(oldSize, text_.size());
            breaks_.push_back(static_cast<std::uint32_t>(text_.size()));
            text_.append("\r\n", 2);
        } else {
            breaks_.push_back(static_cast<std::uint32_t>(oldSize));
            text_.append("\r\n", 2);
            text_.append(s);
            IndexRange(oldSize + 2, text_.size());
        }
        if (LineCount() > kCapacityLines) {
            throw MemoCapacityExceeded();
        }
    } catch (...) {
        text_.resize(oldSize);
        breaks_.resize(oldBreaks);
        throw;
    }
}

}  // namespace table
