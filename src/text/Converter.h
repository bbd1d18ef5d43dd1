#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace text {

// One iconv conversion from character set `from` to character set `to` (iconv names such as
// "CP936", "UTF-8", "UTF-16LE"), closed when it goes. The program's only wrapper of iconv.
class Converter {
public:
    // Throws std::runtime_error "Code page conversion unavailable: <from> -> <to>" when the
    // system cannot convert between the two.
    Converter(const char* to, const char* from);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of `in` as possible, appending to `out`. Returns false at the first
    // sequence that cannot be converted or that is cut off at the end (`in` then starts at it,
    // and the conversion state is reset); true when all of `in` was converted.
    bool Convert(std::string_view& in, std::string& out);

private:
    iconv_t cd_;
};

}  // namespace text
