#include "Application.h"

#include "core/Command.h"

#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace app {

TStripothekApplication::TStripothekApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TStripothekApplication::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    ui::runCommand([&] { result = QApplication::notify(receiver, event); });
    return result;
}

bool setupApplication(QApplication& application)
{
    QApplication::setApplicationName(QStringLiteral("Stripothek"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("Arial"));
    QApplication::setFont(font);

    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

} // namespace app
