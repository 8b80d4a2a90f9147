#pragma once

#include <QApplication>

namespace app {

// The program's application object. Commands route their own errors through
// ui::runCommand; an exception that still escapes an event handler ends only
// that event and reaches the same error display, instead of ending the program.
class TStripothekApplication : public QApplication {
    Q_OBJECT
public:
    TStripothekApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Name (the caption of every error box), German locale, Qt's German texts for
// its own dialogs and buttons, and Arial as the font of every window.
// Returns false when Qt's German translations could not be loaded; the
// program then runs with Qt's English texts.
bool setupApplication(QApplication& application);

} // namespace app
