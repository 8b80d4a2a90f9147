#pragma once

#include <QString>

#include <memory>

class ComicData;
class QWidget;

namespace covers {
class CoverStore;
}

namespace rpt {

class ImageSource;

// The thumbnails of a covers store as a report's pictures.
std::shared_ptr<ImageSource> coverImages(covers::CoverStore& store);

// What both list reports say when the user owns nothing to report on.
QString noOwnCopiesMessage();

// "Fehlende Bände auflisten": the missing volumes of the catalogue as the
// overview shows it, in the modal preview owned by owner. Leaves the
// catalogue in series order at the record number it had.
void ShowMissingVolumes(ComicData& data, QWidget* owner);
// "Gesamtliste": every own copy with its catalogue entry, in the preview;
// with covers, each line of a volume that has one shows its thumbnail.
void ShowCollectionList(ComicData& data, QWidget* owner, covers::CoverStore* covers = nullptr);
// "Stammblatt eines Comics": the master sheet's layout, in a window of its
// own; with covers, with the cover of the comic whose key is given.
void ShowStammblatt(QWidget* owner, covers::CoverStore* covers = nullptr, const QString& comicKey = {});

enum class ReportKind { Missing, List };

// The same reports without a window, over the whole catalogue of the
// collection below directory ("database/stripothek.db"), written as PDF.
// Returns the number of pages; throws db::Error when there is nothing to
// report or the file cannot be written.
int WriteReportPdf(ReportKind kind, const QString& directory, const QString& pdfFile);

} // namespace rpt
