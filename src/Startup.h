#pragma once

#include "U_Main.h"

#include <functional>
#include <memory>
#include <vector>

class QApplication;
class QTranslator;

// The program's start-up: sets the application title, creates the main window and then the
// hidden add-domains dialog, and runs the event loop until a quit command.
class Startup {
public:
    // Creates the main window and the add dialog (owned by the main window); throws on failure.
    using WindowFactory = std::function<std::unique_ptr<TFrm_Main>()>;
    static std::unique_ptr<TFrm_Main> CreateWindows();

    explicit Startup(QApplication& app, WindowFactory createWindows = &Startup::CreateWindows);
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // Returns the exit code: 0 when the loop ended by a quit command, 1 when the windows could
    // not be created (after the "Application Error" box; the main window is never shown).
    // The windows stay alive until this object is destroyed.
    int Run();

    TFrm_Main* MainWindow() const { return main_.get(); }

    // Installs Qt's own translations for the system locale, so that standard dialogs, buttons
    // and context menus speak the user's language; the program's own captions never change.
    // Nothing is installed when the locale has none (English). Run() calls it first; the
    // translations stay installed while this object lives.
    void LoadQtTranslations();

private:
    QApplication& app_;
    std::vector<std::unique_ptr<QTranslator>> translators_;
    WindowFactory createWindows_;
    std::unique_ptr<TFrm_Main> main_;
};
