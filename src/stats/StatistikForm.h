#pragma once

#include "stats/Statistics.h"

#include <QWidget>

class QChartView;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTabWidget;
class QTableView;

namespace db {
class Connection;
}

// The window "Statistik": what the collection holds, how complete its series
// are, what the own copies cost, their condition and when they were bought.
// It reads the collection file through the connection it is given and
// changes nothing. Not modal: the user keeps working in the main window and
// asks for fresh figures with "Aktualisieren" (F5).
class TStatistikForm : public QWidget {
    Q_OBJECT
public:
    explicit TStatistikForm(db::Connection& connection, QWidget* parent = nullptr);
    ~TStatistikForm() override;

    // Computes the figures again and shows them; throws when the file cannot
    // be read, the window then keeps what it showed.
    void Refresh();
    // Asks for a file and saves the table of the current page as CSV; does
    // nothing when the user cancels the question.
    void btnCsvClick();
    // Saves the table of the current page, as btnCsvClick does after asking.
    void saveCsv(const QString& fileName) const;
    const stats::Figures& figures() const { return m_figures; }

    QTabWidget* pcStatistik = nullptr;
    QTableView* grdWaehrung = nullptr;
    QTableView* grdSerien = nullptr;
    QTableView* grdVerlage = nullptr;
    QTableView* grdZustand = nullptr;
    QTableView* grdKaeufe = nullptr;
    QChartView* chartZustand = nullptr;
    QChartView* chartKaeufe = nullptr;
    QPushButton* btnShowSeries = nullptr;
    QPushButton* btnRefresh = nullptr;
    QPushButton* btnCsv = nullptr;
    QPushButton* btnClose = nullptr;

Q_SIGNALS:
    // A series was double-clicked: the main window shows it in its overview.
    void seriesChosen(const QString& seriesId, const QString& name);

private:
    void buildWindow();
    QWidget* buildOverviewPage();
    QTableView* newTable(const char* name, QStandardItemModel* model);
    QTableView* currentTable() const;
    void showOverview();
    void chooseSeries(const QModelIndex& index);
    void updateShowSeries();

    db::Connection& m_connection;
    stats::Figures m_figures;
    QList<QLabel*> m_overviewValues;
    QLabel* labTotal = nullptr;
    QLabel* labStand = nullptr;
    QStandardItemModel* m_currencies;
    QStandardItemModel* m_series;
    QStandardItemModel* m_publishers;
    QStandardItemModel* m_conditions;
    QStandardItemModel* m_years;
};
