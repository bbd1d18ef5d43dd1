#include "Startup.h"

#include "U_Main.h"
#include "U_add.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"

#include <QApplication>
#include <QIcon>

Startup::Startup(QApplication& app, WindowFactory createWindows)
    : app_(app), createWindows_(std::move(createWindows)) {}

Startup::~Startup() = default;

std::unique_ptr<TFrm_Main> Startup::CreateWindows() {
    auto main = std::make_unique<TFrm_Main>();
    // Owned by the main window; hidden until btn1 or N5 shows it.
    auto* add = new TFrm_Add(main->Model(), main.get());
    main->SetAddDialog(add);
    return main;
}

int Startup::Run() {
    QApplication::setApplicationName(gui::kApplicationTitle);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app-icon.png")));
    gui::InstallFontSubstitutions();
    try {
        main_ = createWindows_();
    } catch (const std::exception& e) {
        main_.reset();
        gui::ShowApplicationError(e.what());
        return 1;
    } catch (...) {
        main_.reset();
        gui::ShowApplicationError("Unknown error");
        return 1;
    }
    main_->show();
    return app_.exec();
}
