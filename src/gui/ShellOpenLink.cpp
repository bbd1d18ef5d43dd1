#include "gui/ShellOpenLink.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

namespace gui {
namespace {

void OpenWithDesktop(QWidget* /*owner*/, const QString& address) {
    // Starts the desktop's handler (xdg-open or the portal) detached; the result only says
    // whether it could be started, which nobody acts on.
    static_cast<void>(QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode)));
}

LinkOpener& CurrentOpener() {
    static LinkOpener opener = OpenWithDesktop;
    return opener;
}

}  // namespace

void ShellOpenLink(QWidget* owner, const QString& address) {
    CurrentOpener()(owner, address);
}

ScopedLinkOpener::ScopedLinkOpener(LinkOpener opener)
    : previous_(std::exchange(CurrentOpener(), std::move(opener))) {}

ScopedLinkOpener::~ScopedLinkOpener() {
    CurrentOpener() = std::move(previous_);
}

}  // namespace gui
