#include "Startup.h"

#include "U_Main.h"
#include "U_add.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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

void Startup::LoadQtTranslations() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt" is the catalogue that pulls in the modules' ones; a system that ships only the
    // base module's file still has that.
    for (const char* catalogue : {"qt", "qtbase"}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QLocale::system(), QString::fromLatin1(catalogue), QStringLiteral("_"),
                             folder)) {
            QCoreApplication::installTranslator(translator.get());
            translators_.push_back(std::move(translator));
            return;
        }
    }
}

int Startup::Run() {
    LoadQtTranslations();
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
