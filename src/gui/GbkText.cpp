#include "gui/GbkText.h"

#include "text/CodePage936.h"

namespace gui {

QString FromGbk(std::string_view gbk) {
    // Plain ASCII (most domains) needs no code page: skip the converter.
    bool ascii = true;
    for (const char c : gbk) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    }
    const std::u16string utf16 = text::cp936::ToUtf16(gbk);
    return QString(reinterpret_cast<const QChar*>(utf16.data()),
                   static_cast<qsizetype>(utf16.size()));
}

std::string ToGbk(const QString& text) {
    return text::cp936::FromUtf16(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

}  // namespace gui
