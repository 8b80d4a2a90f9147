#pragma once

#include <QString>

class ComicData;
class QWidget;

namespace rpt {

// What both list reports say when the user owns nothing to report on.
QString noOwnCopiesMessage();

// "Fehlende Bände auflisten": the missing volumes of the catalogue as the
// overview shows it, in the modal preview owned by owner. Leaves the
// catalogue in series order at the record number it had.
void ShowMissingVolumes(ComicData& data, QWidget* owner);
// "Gesamtliste": every own copy with its catalogue entry, in the preview.
void ShowCollectionList(ComicData& data, QWidget* owner);
// "Stammblatt eines Comics": the master sheet's layout, in a window of its own.
void ShowStammblatt(QWidget* owner);

enum class ReportKind { Missing, List };

// The same reports without a window, over the whole catalogue of the
// collection below directory ("database/stripothek.db"), written as PDF.
// Returns the number of pages; throws db::Error when there is nothing to
// report or the file cannot be written.
int WriteReportPdf(ReportKind kind, const QString& directory, const QString& pdfFile);

} // namespace rpt
