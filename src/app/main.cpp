#include "Application.h"
#include "ComicForm.h"

#include "core/Command.h"
#include "keyboard/KeyCtrl.h"

int main(int argc, char* argv[])
{
    app::TStripothekApplication application(argc, argv);
    app::setupApplication(application);
    keyctrl::KeyCtrlStartup(QCoreApplication::arguments());
    // A damaged database file ends the program after its one message, also
    // from inside a dialog; nothing more is written to it.
    ui::setDamageHandler([] {
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    });

    TComicForm form;
    form.show();
    return application.exec();
}
