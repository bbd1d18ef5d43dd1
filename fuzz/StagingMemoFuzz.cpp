// Loads fuzzed bytes into the staging memo, appends fuzzed lines, and checks every step against
// a plain byte-by-byte reading of the same rules.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "table/StagingMemo.h"

namespace {

bool IsLead(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// The text a load should produce: cut at the first zero byte, every break made CR LF, a lead
// byte taking the byte after it.
std::string ReferenceLoad(std::string_view in) {
    in = in.substr(0, in.find('\0'));
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (IsLead(c)) {
            out += c;
            if (i + 1 < in.size()) {
                out += in[++i];
            }
        } else if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

// Offsets of the CR LF pairs in text[from, to) that begin a character, read from `from`.
void ReferenceBreaks(const std::string& text, std::size_t from, std::size_t to,
                     std::vector<std::size_t>& breaks) {
    for (std::size_t i = from; i < to; ++i) {
        if (text[i] == '\r' && i + 1 < to && text[i + 1] == '\n') {
            breaks.push_back(i++);
        } else if (IsLead(text[i])) {
            ++i;
        }
    }
}

// What the memo should hold: its text and where its line breaks are.
struct Model {
    std::string text;
    std::vector<std::size_t> breaks;

    bool EndsWithBreak() const { return !breaks.empty() && breaks.back() + 2 == text.size(); }

    void Load(std::string_view in) {
        text = ReferenceLoad(in);
        breaks.clear();
        ReferenceBreaks(text, 0, text.size(), breaks);
    }

    void Append(const std::string& s) {
        const std::size_t old = text.size();
        if (text.empty() || EndsWithBreak()) {
            text += s;
            ReferenceBreaks(text, old, text.size(), breaks);
            breaks.push_back(text.size());
            text += "\r\n";
        } else {
            breaks.push_back(old);
            text += "\r\n" + s;
            ReferenceBreaks(text, old + 2, text.size(), breaks);
        }
    }

    // Each line without its break, cut to the line limit without splitting a character; no
    // empty line after a final break.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t at : breaks) {
            lines.push_back(text.substr(start, at - start));
            start = at + 2;
        }
        if (start < text.size()) {
            lines.push_back(text.substr(start));
        }
        for (std::string& line : lines) {
            std::size_t keep = 0;
            while (keep < line.size()) {
                const std::size_t width = IsLead(line[keep]) && keep + 1 < line.size() ? 2 : 1;
                if (keep + width > table::StagingMemo::kMaxLineBytes) {
                    break;
                }
                keep += width;
            }
            line.resize(keep);
        }
        return lines;
    }
};

void CheckSame(const table::StagingMemo& memo, const Model& model) {
    Check(memo.Text() == model.text);
    const std::vector<std::string> expected = model.Lines();
    Check(memo.LineCount() == expected.size());
    const std::vector<std::string_view> lines = memo.Lines();
    Check(lines.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Check(memo.Line(i) == expected[i]);
        Check(lines[i] == expected[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string loaded = input.ConsumeRandomLengthString(size);

    table::StagingMemo memo;
    Model model;
    memo.Load(loaded);
    model.Load(loaded);
    CheckSame(memo, model);

    // The memo's own text loads back unchanged.
    table::StagingMemo again;
    again.Load(memo.Text());
    CheckSame(again, model);

    while (input.remaining_bytes() > 0) {
        const std::string line = input.ConsumeRandomLengthString(size);
        const std::size_t countBefore = memo.LineCount();
        memo.AppendLine(line);
        model.Append(line);
        CheckSame(memo, model);
        Check(memo.LineCount() >= countBefore);
    }
    memo.Clear();
    Check(memo.Text().empty() && memo.LineCount() == 0);
    return 0;
}
