#pragma once

#include "database/Schema.h"

#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

// A small collection whose figures are counted by hand in the tests. Its odd
// corners: two series of one name met alternately, a volume without number,
// a flagged owned volume, a volume without series, copies whose comic is gone
// (one refers to "t1" where the comic is "T1"), prices that are missing or
// no number, currencies typed as "EUR", " dm ", "$" or not at all, a
// condition not in the list, a purchase date that is no date.
inline const char* const kStatsCollection = R"(
INSERT INTO SERIEN (SRSERIENID, SRNAME) VALUES ('SA', 'Asterix'), ('SL', 'Lucky Luke'), ('SY', 'Yakari'),
  ('ST', 'Tim'), ('SP1', 'Spirou'), ('SP2', 'Spirou'), ('SZ', 'Zorro');
INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES ('AU1', 'Goscinny'), ('AU2', 'Uderzo');
INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1, SCLSERIEID, SCLSERIENTEXT, SCLBAND, SCLVERLAGTEXT,
  SCLFEHLT, SCLZUKAUFEN) VALUES
  ('A1', 'Asterix der Gallier', 'SA', 'Asterix', 1, 'Egmont', 0, 0),
  ('A2', 'Die goldene Sichel', 'SA', 'Asterix', 2, 'Egmont', 0, 0),
  ('A3', 'Asterix und die Goten', 'SA', 'Asterix', 3, 'Egmont', 0, 0),
  ('L1', 'Arizona', 'SL', 'Lucky Luke', 1, 'Carlsen', 0, 0),
  ('L4', 'Rodeo', 'SL', 'Lucky Luke', 4, 'Carlsen', 0, 0),
  ('Y1', 'Yakari', 'SY', 'Yakari', 1, 'Carlsen', 0, 0),
  ('Y2', 'Yakari und Großer Adler', 'SY', 'Yakari', 2, 'Carlsen', 1, 0),
  ('Y3', 'Yakari und Kleiner Donner', 'SY', 'Yakari', 3, 'Carlsen', 0, 0),
  ('T1', 'Tim in Amerika', 'ST', 'Tim', 1, NULL, 0, 1),
  ('T2', 'Der blaue Lotos', 'ST', 'Tim', 2, NULL, 0, 0),
  ('P11', 'Das Versteck', 'SP1', 'Spirou', 1, 'Carlsen', 0, 0),
  ('P21', 'Die Zauberer', 'SP2', 'Spirou', 1, 'Carlsen', 0, 0),
  ('P12', 'Der Zyklotron', 'SP1', 'Spirou', 2, 'Carlsen', 0, 0),
  ('P22', 'Die Bravo Brothers', 'SP2', 'Spirou', 2, 'Carlsen', 0, 0),
  ('Z0', 'Zorro kehrt zurück', 'SZ', 'Zorro', NULL, 'Egmont', NULL, NULL),
  ('Z2', 'Zorro in Kalifornien', 'SZ', 'Zorro', 2, 'Egmont', 0, 0),
  ('E1', 'Einzelstück', NULL, NULL, NULL, NULL, 0, 0);
CREATE TEMP VIEW grade AS SELECT ZWID AS id, substr(ZWNAME, 1, 1) AS grade FROM ZUSTANDSARTEN;
INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, LCLZUSTANDID, LCLKPREIS, LCLKPREISWG, LCKKDATUM) VALUES
  ('c1', 'A1', (SELECT id FROM grade WHERE grade = '1'), 10.0, '€', '2001-05-03T00:00:00'),
  ('c2', 'A1', (SELECT id FROM grade WHERE grade = '2'), 15.5, 'DM', '1998-02-01T00:00:00'),
  ('c3', 'A3', (SELECT id FROM grade WHERE grade = '1'), NULL, '€', NULL),
  ('c4', 'L1', NULL, 12.0, 'DM', '1998-07-01T00:00:00'),
  ('c5', 'L4', 'XX', 7.5, 'EUR', '2001-01-01T00:00:00'),
  ('c6', 'Y1', (SELECT id FROM grade WHERE grade = '2'), 5.0, '$', '2001-03-03T00:00:00'),
  ('c7', 'Y2', (SELECT id FROM grade WHERE grade = '2'), 'abc', '€', '12.03.1999'),
  ('c8', 'Y3', (SELECT id FROM grade WHERE grade = '1'), 3.0, NULL, '2005-06-06T00:00:00'),
  ('c9', 'P11', (SELECT id FROM grade WHERE grade = '1'), NULL, NULL, '2005-01-01T00:00:00'),
  ('c10', 'P21', (SELECT id FROM grade WHERE grade = '1'), NULL, '', '2005-01-01T00:00:00'),
  ('c11', 'P12', (SELECT id FROM grade WHERE grade = '1'), NULL, NULL, '2005-01-01T00:00:00'),
  ('c12', 'P22', (SELECT id FROM grade WHERE grade = '1'), NULL, NULL, '2005-01-01T00:00:00'),
  ('c13', 'Z0', (SELECT id FROM grade WHERE grade = '1'), 4.0, '€', '2005-02-02T00:00:00'),
  ('c14', 'Z2', (SELECT id FROM grade WHERE grade = '1'), 4, '€', '2005-02-02T00:00:00'),
  ('c15', 'E1', (SELECT id FROM grade WHERE grade = '1'), 20.0, ' dm ', '1998-09-09T00:00:00'),
  ('c16', 'GONE', (SELECT id FROM grade WHERE grade = '2'), 8.0, '€', '2001-12-24T00:00:00'),
  ('c17', 'GONE2', (SELECT id FROM grade WHERE grade = '2'), NULL, 'DM', NULL),
  ('c18', 't1', (SELECT id FROM grade WHERE grade = '1'), 6.0, '€', '2005-03-03T00:00:00');
DROP VIEW grade;
)";

// Creates the collection in dir (below "database/").
inline void createStatsCollection(const QString& dir, const char* sql = kStatsCollection)
{
    db::schema::createDatabase(dir, [sql](sqlite3* handle) {
        char* error = nullptr;
        if (sqlite3_exec(handle, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const QString message = QString::fromUtf8(error);
            sqlite3_free(error);
            throw std::runtime_error(message.toStdString());
        }
    });
}
