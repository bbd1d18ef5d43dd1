#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace gui {

// Opens an address (a web page or a "mailto:" address) with the desktop's default handler. It
// does not wait for the program that opens it and reports nothing: when no handler can open the
// address, nothing happens. owner is the window whose control asked for it.
void ShellOpenLink(QWidget* owner, const QString& address);

// What ShellOpenLink hands the address to. Tests put a recorder here instead of a browser.
using LinkOpener = std::function<void(QWidget* owner, const QString& address)>;

// Replaces the opener until the returned guard is destroyed, which puts the previous one back.
class ScopedLinkOpener {
public:
    explicit ScopedLinkOpener(LinkOpener opener);
    ~ScopedLinkOpener();
    ScopedLinkOpener(const ScopedLinkOpener&) = delete;
    ScopedLinkOpener& operator=(const ScopedLinkOpener&) = delete;

private:
    LinkOpener previous_;
};

}  // namespace gui
