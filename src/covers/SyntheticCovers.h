#pragma once

#include <QImage>
#include <QString>

struct sqlite3;

// Made-up covers for made-up collections: the gallery and the benchmarks
// need a picture on every one of 100,000 volumes.
namespace covers {

class CoverBuilder;

// A cover of thumbnail size: the series over the number on a ground whose
// colour the series chooses, the title below. Needs a QGuiApplication (the
// fonts); runs on any thread.
QImage drawSyntheticCover(const QString& series, const QString& title, const QString& number);

// Draws a cover for every volume of the catalogue (on all cores) and adds it
// to builder. Returns the number of covers.
int addSyntheticCovers(sqlite3* catalogue, CoverBuilder& builder);

} // namespace covers
