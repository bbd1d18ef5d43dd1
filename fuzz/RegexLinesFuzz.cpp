// RegexGroupText works line by line on patterns of the shape literal "(.*?)" literal; it must
// give what the plain loop of pcre_exec calls gives, PCRE's match limit included. The input
// picks a pattern, a match limit and a page: either its own bytes, or a page assembled from the
// pieces the field patterns care about (labels, tags, newline bytes, long runs of filler).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lookup/FilingLiterals.h"
#include "lookup/PageParser.h"

namespace {

const std::string kLabelEnd = "</label><span class=\"fontred\">";
const std::string kSponsorLabel = "\xD6\xF7\xB0\xEC\xB5\xA5\xCE\xBB\xC3\xFB\xB3\xC6\xA3\xBA";
const std::string kReviewLabel = "\xC9\xF3\xBA\xCB\xCD\xA8\xB9\xFD\xCA\xB1\xBC\xE4\xA3\xBA";

// Patterns of the line shape. The short ones over a tiny alphabet make prefixes and tails that
// overlap each other and themselves, which the field patterns never do.
const std::string kPatterns[] = {
    std::string(lookup::SponsorPattern),
    std::string(lookup::ReviewDatePattern),
    "a(.*?)b",
    "ab(.*?)ba",
    "aa(.*?)aa",
    "a\\/(.*?)\\/a",
    "<(.*?)>",
    "ba(.*?)ab",
};

// Pieces of an assembled page.
const std::string kPieces[] = {
    kSponsorLabel + kLabelEnd,
    kReviewLabel + kLabelEnd,
    kSponsorLabel,
    kLabelEnd,
    "</span></div>",
    "</span>",
    "</div>",
    "\r\n",
    "\n",
    "\r",
    "\x0B",
    "\x0C",
    "\x85",
    "\xAE\x85",  // a GBK character whose second byte is a newline byte
    std::string(1, '\0'),
    "\xC4\xB3\xB9\xAB\xCB\xBE",  // GBK text
    "2010-05-20",
    "a",
    "b",
    "ab",
    "ba",
    "/",
    "<",
    ">",
};

constexpr std::size_t kMaxPage = 8192;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::string& pattern = kPatterns[data[0] % std::size(kPatterns)];
    // The library's limit, or one small enough that short lines reach it.
    const unsigned long limit = data[1] < 32 ? 0 : 64 + data[1];
    const bool assembled = data[2] % 2 == 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);

    std::string page;
    if (assembled) {
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const auto b = static_cast<unsigned char>(rest[i]);
            if (b >= 0xF0 && i + 1 < rest.size()) {
                // A run of filler bytes, long enough to pass the small match limits.
                page.append(static_cast<unsigned char>(rest[++i]) * 2u, (b & 1) ? 'x' : 'a');
            } else {
                page += kPieces[b % std::size(kPieces)];
            }
        }
    } else {
        page.assign(rest);
    }

    // The plain loop is quadratic on a long line of prefixes (a 50 KB one takes seconds); pages
    // of a few kilobytes keep every input quick and still hold lines past the small limits.
    if (page.size() > kMaxPage) {
        page.resize(kMaxPage);
    }
    Check(lookup::RegexGroupText(page, pattern, limit) ==
          lookup::RegexGroupTextPlain(page, pattern, limit));
    return 0;
}
