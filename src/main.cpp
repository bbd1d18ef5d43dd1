#include "Startup.h"

#include <QApplication>

#include <unistd.h>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.chengyu.IcpQuery"));
    Startup startup(app);
    const int code = startup.Run();
    // Batch workers may still be inside a lookup, holding the table and the client. End the
    // process here, without running destructors they could race; nothing is saved at exit.
    std::fflush(nullptr);
    _exit(code);
}
