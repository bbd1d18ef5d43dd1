#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace table {

// Raised when a text is too large for the staging memo; what() is "Text exceeds memo capacity".
class MemoCapacityExceeded : public std::length_error {
public:
    MemoCapacityExceeded();
};

// The main window's hidden staging memo: the text buffer through which an import splits a file
// into lines and an export builds its file. It holds GBK bytes with every line break stored as
// CR LF, and an index of where each break is, so counting lines and reading line i are O(1).
//
// Lines are the text's own lines, however long: nothing is ever wrapped at a display width.
//
// A byte 0x81..0xFE begins a double-byte character and takes the byte after it along, whatever
// that byte is; so a CR or LF right after such a byte is part of the character, not a break.
class StagingMemo {
public:
    // The most text bytes the memo takes (after line breaks were made CR LF). A million domains
    // need some 20 to 40 MB; a file far beyond that fails cleanly instead of exhausting memory.
    static constexpr std::size_t kCapacityBytes = std::size_t{256} << 20;
    // The most lines it takes: every line costs an index entry here and a row in the table, so a
    // file of nothing but line breaks is bounded too.
    static constexpr std::size_t kCapacityLines = std::size_t{16} << 20;
    // Line() gives at most this many bytes of a line.
    static constexpr std::size_t kMaxLineBytes = 4096;

    void Clear();

    // Replaces the whole text. A CR not followed by LF and a LF not after a CR become CR LF; the
    // text ends at its first zero byte. Throws MemoCapacityExceeded (the memo is then empty).
    void Load(std::string_view bytes);

    // Number of lines; the empty line after a final break is not counted ("" = 0, "A" = 1,
    // "A\r\n" = 1, "A\r\n\r\n" = 2, "\r\n" = 1).
    std::size_t LineCount() const;

    // Line i (from 0) without its break, cut to kMaxLineBytes. Throws std::out_of_range.
    std::string_view Line(std::size_t i) const;

    // Every line as Line(i) gives it, in order; views into the memo, valid until it changes.
    std::vector<std::string_view> Lines() const;

    // Adds line s followed by CR LF where line LineCount() begins: at the end of a text that is
    // empty or ends with a break. A text that does not end with a break gets CR LF and then s,
    // and still ends without one. The bytes of s are kept as they are, and the CR LF added is
    // always a break, even after a lone lead byte at the end of s. Throws
    // MemoCapacityExceeded when the memo cannot take them.
    void AppendLine(std::string_view s);

    // The text exactly as held, every line break as CR LF.
    const std::string& Text() const { return text_; }

private:
    // Records the CR LF breaks within text_[from, to); from must begin a character.
    void IndexRange(std::size_t from, std::size_t to);
    bool EndsWithBreak() const;

    std::string text_;
    // Offset of the CR of every line break, in order. Offsets fit 32 bits under the capacity.
    std::vector<std::uint32_t> breaks_;
    static_assert(kCapacityBytes <= UINT32_MAX);
};

}  // namespace table
