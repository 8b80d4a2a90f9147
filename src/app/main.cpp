#include "Application.h"
#include "ComicForm.h"

#include "keyboard/KeyCtrl.h"

int main(int argc, char* argv[])
{
    app::TStripothekApplication application(argc, argv);
    app::setupApplication(application);
    keyctrl::KeyCtrlStartup(QCoreApplication::arguments());

    TComicForm form;
    form.show();
    return application.exec();
}
