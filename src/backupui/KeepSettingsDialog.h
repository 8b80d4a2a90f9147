#pragma once

#include <QDialog>

class QSpinBox;

// "Einstellungen": how many copies of the collection stay. Shows the stored
// rule; "OK" stores what the boxes hold, for the program and stripothek-db
// alike; "Abbrechen" and Esc store nothing.
class TKeepSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit TKeepSettingsDialog(QWidget* owner = nullptr);

    void accept() override;

private:
    QSpinBox* editKeepLast;
    QSpinBox* editKeepMonths;
};
