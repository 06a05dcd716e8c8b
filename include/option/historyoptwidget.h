// The small dialog that sets after how many days (1 to 99) the removal
// history of duplicates is cleared; it reads and writes ClearDays of the
// settings in memory. GUI thread only.
#pragma once

#include <QDialog>

class QGroupBox;
class QSpinBox;

class CHistoryOptWidget : public QDialog
{
    Q_OBJECT
public:
    explicit CHistoryOptWidget(QWidget* parent);  // loads the spin box
    ~CHistoryOptWidget() override;

    // The stored days when they lie within 1 to 99, else 7.
    void InitOption();

public slots:
    // Stores the days and closes; Cancel and the close button store nothing.
    void Save();

private:
    QSpinBox* m_pDays = nullptr;
    QGroupBox* m_pGroup = nullptr;
};
