#include "cli/ReportCommand.h"

#include "cli/Tool.h"
#include "reports/ReportCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <cstring>

namespace cli {

bool wantsReport(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "report") == 0)
            return true;
    return false;
}

int runReportCommand(const QStringList& arguments, const QString& pdfFile, QTextStream& out, QTextStream& err,
                     const std::function<int(const QString&)>& usage)
{
    if (arguments.isEmpty())
        return usage(QStringLiteral("Es fehlt die Art des Reports: missing oder list."));
    const QString kind = arguments[0];
    if (kind != QLatin1String("missing") && kind != QLatin1String("list"))
        return usage(QStringLiteral("Unbekannter Report „%1“; möglich sind missing und list.").arg(kind));
    if (arguments.size() < 2 || arguments[1].isEmpty())
        return usage(QStringLiteral("Es fehlt das Verzeichnis der Sammlung."));
    if (arguments.size() > 2)
        return usage(QStringLiteral("Zu viele Argumente: %1").arg(arguments.mid(2).join(QLatin1Char(' '))));
    if (pdfFile.isEmpty())
        return usage(QStringLiteral("Es fehlt die Option --pdf mit dem Namen der PDF-Datei."));

    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return failed(err, QStringLiteral("Reports brauchen eine QGuiApplication."));
    try {
        const int pages = rpt::WriteReportPdf(
            kind == QLatin1String("missing") ? rpt::ReportKind::Missing : rpt::ReportKind::List, arguments[1], pdfFile);
        const QLocale german(QLocale::German, QLocale::Germany);
        out << "Report geschrieben: „" << QDir::toNativeSeparators(QFileInfo(pdfFile).absoluteFilePath()) << "“ ("
            << german.toString(pages) << (pages == 1 ? " Seite" : " Seiten") << ").\n";
        out.flush();
        return kExitOk;
    } catch (const std::exception& e) {
        return failed(err, QString::fromUtf8(e.what()));
    }
}

} // namespace cli
