// The scan options of the duplicate page: quick scan by the chosen fields,
// or deep scan by acoustic fingerprints at a match degree. The choice lives
// in the Duplicate mask of the settings (in memory). GUI thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

class CDuplicateWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CDuplicateWidget(QWidget* parent);  // builds and loads from the mask
    ~CDuplicateWidget() override;                // saves

signals:
    // "Show Remove History" was pressed.
    void ShowTrash();

public slots:
    // The scan mode changed: enables the controls of that mode, then saves.
    void StateChanged();
    // Writes the mask from the controls alone: one degree bit, the checked
    // criteria (enabled or not) and the deep-scan bit.
    void Save();
    // Runs the removal-history options dialog.
    void SetRemoveOpt();
    void Match(int);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void build();
    void load(int mask);
    void enableMode(bool deep);

    QLabel* m_pHint = nullptr;
    QRadioButton* m_pQuick = nullptr;
    QRadioButton* m_pDeep = nullptr;
    QLabel* m_pNote = nullptr;
    QCheckBox* m_pName = nullptr;
    QCheckBox* m_pArtist = nullptr;
    QCheckBox* m_pAlbum = nullptr;
    QCheckBox* m_pSize = nullptr;
    QCheckBox* m_pTime = nullptr;
    QComboBox* m_pDegree = nullptr;
};
