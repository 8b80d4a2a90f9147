#include "csvimport/ImportPlan.h"

#include "csvimport/Values.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace csvimport {

namespace {

// The sizes of the text fields the values go to.
constexpr qsizetype kTitleSize = 150;   // SCLTITEL1..3
constexpr qsizetype kNameSize = 50;     // SRNAME, VLNAME1, lookup names, ISBN, storage place
constexpr qsizetype kEditionSize = 25;  // LCLAUFLAGE

QString checked(const QString& text, qsizetype size)
{
    if (text.size() > size)
        throw ValueError(QStringLiteral("%1 ist länger als %2 Zeichen").arg(quoted(text)).arg(size));
    return text;
}

bool isBlank(const QString& cell)
{
    return isBlankText(cell);
}

void appendMemo(QString& memo, const QString& text)
{
    if (text.isEmpty())
        return;
    if (!memo.isEmpty())
        memo += u'\n';
    memo += text;
}

} // namespace

QString RowError::text() const
{
    QString where = QStringLiteral("Zeile %1").arg(line);
    if (!column.isEmpty())
        where += QStringLiteral(", Spalte %1").arg(column);
    return where + QStringLiteral(": ") + message;
}

QStringList PlanSummary::problems() const
{
    QStringList lines;
    if (!ignoredColumns.isEmpty()) {
        QStringList names;
        for (const QString& name : ignoredColumns)
            names << quoted(name);
        lines << QStringLiteral("Nicht importiert, da keinem Feld zugeordnet: ") + names.join(QStringLiteral(", "));
    }
    if (ambiguousDates > 0)
        lines << (ambiguousDates == 1 ? QStringLiteral("%1 Kaufdatum mit Schrägstrichen lässt offen, was Tag und was "
                                                       "Monat ist; es wurde als %2 gelesen: %3 (Zeile %4) als %5")
                                      : QStringLiteral("%1 Kaufdaten mit Schrägstrichen lassen offen, was Tag und was "
                                                       "Monat ist; sie wurden als %2 gelesen, etwa %3 (Zeile %4) als %5"))
                     .arg(ambiguousDates)
                     .arg(slashDates == DateOrder::MonthDay ? QStringLiteral("Monat/Tag/Jahr")
                                                            : QStringLiteral("Tag/Monat/Jahr"),
                          quoted(firstAmbiguousDate))
                     .arg(firstAmbiguousDateLine)
                     .arg(QLocale(QLocale::German).toString(firstAmbiguousDateRead, QStringLiteral("d. MMMM yyyy")));
    if (commaNames > 0)
        lines << (commaNames == 1 ? QStringLiteral("%1 Autorenzelle wie %2 (Zeile %3) wurde als zwei Namen gelesen")
                                  : QStringLiteral("%1 Autorenzellen wie %2 (Zeile %3) wurden als zwei Namen gelesen"))
                         .arg(commaNames)
                         .arg(quoted(firstCommaNames))
                         .arg(firstCommaNamesLine)
                     + QStringLiteral("; steht dort „Nachname, Vorname“, schalten Sie „Komma trennt Autoren“ aus "
                                      "oder trennen Sie die Namen in der Datei mit „;“");
    if (defaultCurrencyPrices > 0)
        lines << (defaultCurrencyPrices == 1
                      ? QStringLiteral("%1 Preis ohne eigene Währung erhält %2, die Währung für Preise ohne Angabe "
                                       "(Zeile %3)")
                      : QStringLiteral("%1 Preise ohne eigene Währung erhalten %2, die Währung für Preise ohne "
                                       "Angabe (der erste in Zeile %3)"))
                     .arg(defaultCurrencyPrices)
                     .arg(quoted(defaultCurrency))
                     .arg(firstDefaultCurrencyLine);
    if (windows1252Lines > 0)
        lines << QStringLiteral("%1 Zeilen waren kein gültiges UTF-8 und wurden als Windows-1252 gelesen (die erste: "
                                "Zeile %2)")
                     .arg(windows1252Lines)
                     .arg(firstWindows1252Line);
    for (const RowError& e : errors)
        lines << e.text();
    if (errorCount > errors.size())
        lines << QStringLiteral("… und %1 weitere Fehler").arg(errorCount - errors.size());
    return lines;
}

// What one record's cells say beyond the row's own fields, settled once all
// cells are read.
struct Planner::Pending {
    QString volumeDesignation;
    QString volumeColumn;
    QString priceCurrency;
    QString currency;
    QString currencyColumn;
    bool copyData = false;
};

Planner::Planner(const QStringList& header, const Mapping& mapping, const PlanOptions& options)
    : m_header(header), m_mapping(mapping), m_options(options),
      m_roles(options.lookups.roles, LookupKind::Role),
      m_conditions(options.lookups.conditions, LookupKind::Condition),
      m_literatureTypes(options.lookups.literatureTypes, LookupKind::Plain),
      m_literatureKinds(options.lookups.literatureKinds, LookupKind::Plain),
      m_executions(options.lookups.executions, LookupKind::Plain)
{
    int columnCount = int(header.size());
    if (header.isEmpty())
        for (const ColumnMapping& c : mapping.columns)
            columnCount = std::max(columnCount, c.index + 1);
    QList<Target> seen;
    bool identifies = false;
    for (ColumnMapping c : mapping.resolve(header, columnCount)) {
        if (c.target == Target::None)
            continue;
        c.name = cleanLine(c.name);
        if (c.name.isEmpty())
            c.name = QString::number(c.index + 1);
        if (seen.contains(c.target) && !takesSeveralColumns(c.target))
            throw db::Error(QStringLiteral("Das Feld „%1“ ist mehreren Spalten zugeordnet").arg(targetCaption(c.target)));
        seen << c.target;
        identifies |= c.target == Target::Title1 || c.target == Target::Series || c.target == Target::Isbn;
        if (c.target == Target::Authors && !c.role.isEmpty()) {
            const QString role = m_roles.find(c.role);
            if (role.isEmpty())
                throw db::Error(QStringLiteral("Die Funktion „%1“ der Spalte „%2“ gibt es nicht").arg(c.role, c.name));
            c.role = role;
        }
        m_columns << c;
    }
    for (int i = 0; i < header.size(); ++i) {
        const QString name = cleanLine(header[i]);
        const bool mapped = std::any_of(m_columns.begin(), m_columns.end(), [i](const ColumnMapping& c) {
            return c.index == i;
        });
        if (!mapped && !name.isEmpty())
            m_summary.ignoredColumns << name;
    }
    m_summary.slashDates = mapping.slashDates;
    m_summary.defaultCurrency = mapping.defaultCurrency;
    if (!identifies)
        throw db::Error(QStringLiteral("Weder Titel 1 noch Serie noch ISBN ist einer Spalte zugeordnet: so lässt sich "
                                       "kein Band erkennen"));
}

void Planner::error(int line, const QString& column, const QString& message)
{
    ++m_rowErrors;
    ++m_summary.errorCount;
    if (m_summary.errors.size() < m_options.maxErrors)
        m_summary.errors << RowError{line, column, message};
}

void Planner::apply(const ColumnMapping& column, const QString& cell, ImportRow& row, Pending& pending)
{
    QString line = cleanLine(cell);
    if (line.isEmpty())
        return;
    // ="0123": how some programs keep a spreadsheet from reading a text as a
    // number (and dropping an ISBN's leading zero).
    if (line.size() >= 3 && line.startsWith(QLatin1String("=\"")) && line.endsWith(u'"'))
        line = line.mid(2, line.size() - 3).replace(QLatin1String("\"\""), QLatin1String("\""));
    // '=…: the apostrophe that keeps a spreadsheet from taking a text for a formula.
    else if (line.size() >= 2 && line[0] == u'\'' && QStringView(u"=+-@").contains(line[1]))
        line.remove(0, 1);
    ImportCopy& copy = *row.copy;
    const auto lookup = [&line](const LookupList& list, const char* what) {
        const QString name = list.find(line);
        if (name.isEmpty() || name.size() > kNameSize)
            throw ValueError(QStringLiteral("%1 %2").arg(quoted(line), QString::fromUtf8(what)));
        return name;
    };
    pending.copyData |= isCopyTarget(column.target) && column.target != Target::Currency;
    switch (column.target) {
    case Target::None:
        break;
    case Target::Title1:
        row.title1 = checked(line, kTitleSize);
        break;
    case Target::Title2:
        row.title2 = checked(line, kTitleSize);
        break;
    case Target::Title3:
        row.title3 = checked(line, kTitleSize);
        break;
    case Target::Series:
        row.series = checked(line, kNameSize);
        break;
    case Target::Volume: {
        const Volume v = parseVolume(line);
        row.volume = v.number;
        pending.volumeDesignation = v.designation;
        pending.volumeColumn = column.name;
        break;
    }
    case Target::Publisher:
        row.publisher = checked(line, kNameSize);
        break;
    case Target::Isbn: {
        // A spreadsheet that took the ISBN for a number shows it as 9,78355E+12:
        // the digits are gone.
        static const QRegularExpression scientific(QStringLiteral("^\\d+(?:[.,]\\d+)?E\\+?\\d+$"),
                                                   QRegularExpression::CaseInsensitiveOption);
        if (line.contains(u'E', Qt::CaseInsensitive) && scientific.match(line).hasMatch())
            throw ValueError(QStringLiteral("%1 ist keine ISBN mehr: die Tabellenkalkulation hat sie als Zahl gekürzt")
                                 .arg(quoted(line)));
        row.isbn = checked(line, kNameSize);
        break;
    }
    case Target::Pages:
        row.pages = parsePages(line);
        break;
    case Target::LiteratureType:
        row.literatureType = lookup(m_literatureTypes, "ist kein bekannter Literaturtyp");
        break;
    case Target::LiteratureKind:
        row.literatureKind = lookup(m_literatureKinds, "ist keine bekannte Literaturart");
        break;
    case Target::Content:
        appendMemo(row.content, cleanMemo(cell));
        break;
    case Target::Remarks:
        appendMemo(row.remarks, cleanMemo(cell));
        break;
    case Target::Limitation:
        row.limitation = parseCount(line, 1, 10'000'000);
        break;
    case Target::Missing:
        row.missing = parseFlag(line);
        break;
    case Target::ToBuy:
        row.toBuy = parseFlag(line);
        break;
    case Target::Authors: {
        for (const ImportAuthor& a : parseAuthors(cell, column.role, m_mapping.commaSeparatesAuthors, m_roles))
            if (!row.authors.contains(a))
                row.authors << a;
        // Two single words around one comma: two surnames, or one name written surname first.
        static const QRegularExpression twoWords(QStringLiteral("^[^,;/&:\\s]+\\s*,\\s*[^,;/&:\\s()]+$"));
        if (m_mapping.commaSeparatesAuthors && line.contains(u',') && twoWords.match(line).hasMatch()
            && m_summary.commaNames++ == 0) {
            m_summary.firstCommaNamesLine = row.line;
            m_summary.firstCommaNames = line;
        }
        break;
    }
    case Target::CopyEdition:
        copy.edition = checked(line, kEditionSize);
        break;
    case Target::Condition:
        copy.condition = lookup(m_conditions, "ist kein bekannter Zustand");
        break;
    case Target::PurchaseDate: {
        copy.purchaseDate = parseDate(line, m_options.today, m_mapping.slashDates);
        static const QRegularExpression slash(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/"));
        const QRegularExpressionMatch m = slash.match(line);
        if (m.hasMatch() && m.captured(1).toInt() <= 12 && m.captured(2).toInt() <= 12
            && m.captured(1).toInt() != m.captured(2).toInt() && m_summary.ambiguousDates++ == 0) {
            m_summary.firstAmbiguousDateLine = row.line;
            m_summary.firstAmbiguousDate = line;
            m_summary.firstAmbiguousDateRead = copy.purchaseDate;
        }
        break;
    }
    case Target::PurchasePrice: {
        const Price p = parsePrice(line);
        copy.price = p.amount;
        pending.priceCurrency = p.currency;
        break;
    }
    case Target::Currency:
        pending.currency = parseCurrency(line);
        pending.currencyColumn = column.name;
        break;
    case Target::StoragePlace:
        copy.storagePlace = checked(line, kNameSize);
        break;
    case Target::CopyNumber:
        copy.number = parseCount(line, 1, 10'000'000);
        break;
    case Target::Execution1:
        copy.execution1 = lookup(m_executions, "ist keine bekannte Ausführung");
        break;
    case Target::Execution2:
        copy.execution2 = lookup(m_executions, "ist keine bekannte Ausführung");
        break;
    case Target::CopyRemarks:
        appendMemo(copy.remarks, cleanMemo(cell));
        break;
    }
}

std::optional<ImportRow> Planner::plan(const Record& record)
{
    ++m_summary.records;
    if (std::all_of(record.fields.begin(), record.fields.end(), isBlank)) {
        ++m_summary.emptyRecords;
        return std::nullopt;
    }
    m_rowErrors = 0;
    const int line = record.line;
    if (!m_header.isEmpty() && record.fields.size() > m_header.size()) {
        const QStringList extra = record.fields.mid(m_header.size());
        if (!std::all_of(extra.begin(), extra.end(), isBlank))
            error(line, {},
                  QStringLiteral("Die Zeile hat %1 Felder, die Kopfzeile nur %2 – ein Trennzeichen zu viel oder ein "
                                 "fehlendes Anführungszeichen?")
                      .arg(record.fields.size())
                      .arg(m_header.size()));
    }

    ImportRow row;
    row.line = line;
    row.copy = ImportCopy();
    Pending pending;
    for (const ColumnMapping& column : m_columns) {
        const QString cell = column.index < record.fields.size() ? record.fields[column.index] : QString();
        try {
            apply(column, cell, row, pending);
        } catch (const ValueError& e) {
            error(line, column.name, e.message());
        }
    }

    ImportCopy& copy = *row.copy;
    if (!pending.currency.isEmpty() && !pending.priceCurrency.isEmpty() && pending.currency != pending.priceCurrency)
        error(line, pending.currencyColumn,
              QStringLiteral("%1 widerspricht der Währung beim Preis (%2)")
                  .arg(quoted(pending.currency), quoted(pending.priceCurrency)));
    copy.currency = !pending.currency.isEmpty() ? pending.currency : pending.priceCurrency;
    if (copy.currency.isEmpty() && copy.price && !m_mapping.defaultCurrency.isEmpty() && m_rowErrors == 0) {
        copy.currency = m_mapping.defaultCurrency;
        if (m_summary.defaultCurrencyPrices++ == 0)
            m_summary.firstDefaultCurrencyLine = line;
    }

    if (!pending.volumeDesignation.isEmpty()) {
        // Band 12a: the catalogue's volume is a number; the rest stays in the third title.
        if (pending.volumeDesignation.size() > kTitleSize)
            error(line, pending.volumeColumn,
                  QStringLiteral("%1 ist länger als %2 Zeichen").arg(quoted(pending.volumeDesignation)).arg(kTitleSize));
        else if (row.title3.isEmpty())
            row.title3 = pending.volumeDesignation;
        else
            error(line, pending.volumeColumn,
                  QStringLiteral("%1 ist mehr als eine Zahl, und Titel 3, der den Rest aufnähme, ist schon belegt")
                      .arg(quoted(pending.volumeDesignation.mid(5))));
    }
    if (row.title1.isEmpty() && row.series.isEmpty() && row.isbn.isEmpty() && m_rowErrors == 0)
        error(line, {}, QStringLiteral("Die Zeile hat weder Titel noch Serie noch ISBN"));

    const bool wantCopy = m_mapping.copies == CopyRule::Always
        || (m_mapping.copies == CopyRule::IfFilled && pending.copyData);
    if (!wantCopy)
        row.copy.reset();

    if (m_rowErrors > 0) {
        ++m_summary.refusedRows;
        return std::nullopt;
    }
    ++m_summary.rows;
    m_summary.copies += row.copy.has_value();
    m_summary.authorLinks += int(row.authors.size());
    return row;
}

Cancelled::Cancelled()
    : db::Error(QStringLiteral("Der Import wurde abgebrochen; es wurde nichts gespeichert"))
{
}

PlanSummary planFile(const QString& path, const Format& format, const Mapping& mapping, const PlanOptions& options,
                     const std::function<void(const ImportRow&)>& sink, const Limits& limits)
{
    CsvReader reader(path, format, limits);
    const QString name = reader.fileName();
    if (format.header && reader.header().isEmpty())
        throw ReadError(name, 0, 0, QStringLiteral("Die Datei enthält keine Datensätze"));
    Planner planner(reader.header(), mapping, options);
    Record record;
    const qint64 size = reader.size();
    if (options.progress && !options.progress(0, size))
        throw Cancelled();
    for (qsizetype n = 1; reader.next(record); ++n) {
        if (n > limits.maxRows)
            throw ReadError(name, record.line, 0,
                            QStringLiteral("Die Datei hat mehr als %1 Datenzeilen, mehr als eine Tabelle fasst; "
                                           "teilen Sie sie auf und importieren Sie die Teile nacheinander")
                                .arg(grouped(limits.maxRows)));
        if (const std::optional<ImportRow> row = planner.plan(record); row && sink)
            sink(*row);
        // Often enough for a smooth bar, rarely enough to cost nothing.
        if (options.progress && n % 256 == 0 && !options.progress(reader.bytesRead(), size))
            throw Cancelled();
    }
    if (options.progress && !options.progress(size, size))
        throw Cancelled();
    PlanSummary summary = planner.summary();
    summary.windows1252Lines = reader.windows1252Lines();
    summary.firstWindows1252Line = reader.firstWindows1252Line();
    if (summary.records == summary.emptyRecords)
        throw ReadError(name, 0, 0,
                        format.header ? QStringLiteral("Die Datei enthält nur die Kopfzeile, keine Daten")
                                      : QStringLiteral("Die Datei enthält keine Daten"));
    return summary;
}

} // namespace csvimport
