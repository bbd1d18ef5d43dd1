#include "gui/Fonts.h"

#include <QStringList>

namespace gui {

namespace {
const QString kMsSansSerif = QStringLiteral("MS Sans Serif");
const QString kSongTi = QStringLiteral("宋体");

QFont PixelFont(const QString& family, int pixels) {
    QFont f(family);
    f.setPixelSize(pixels);
    return f;
}
}  // namespace

QFont DialogFont() {
    InstallFontSubstitutions();
    return PixelFont(kMsSansSerif, 11);
}

QFont SongFont() {
    InstallFontSubstitutions();
    return PixelFont(kSongTi, 12);
}

void InstallFontSubstitutions() {
    static const bool done = [] {
        // Latin text in a sans serif, Chinese from WenQuanYi (installed by scripts/setup).
        QFont::insertSubstitutions(
            kMsSansSerif, {QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei"),
                           QStringLiteral("Noto Sans CJK SC")});
        QFont::insertSubstitutions(
            kSongTi, {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("AR PL UMing CN")});
        return true;
    }();
    (void)done;
}

}  // namespace gui
