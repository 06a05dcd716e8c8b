// The home page: the four ways to begin (clean the iTunes library, open
// music files, clean up duplicates, load a saved project), the Settings
// button, and the question whether to continue an interrupted project.
// Every request leaves through a signal. GUI thread only.
#pragma once

#include "musiclink.h"

#include <QFutureWatcher>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QPushButton;

class CStartUI : public QWidget
{
    Q_OBJECT
public:
    explicit CStartUI(QWidget* parent);

    // The clean-iTunes button's text; any text but "Start to Clean iTunes"
    // makes the next click ask for the library file first.
    void SetCleanerBtnText(const QString& text);
    // The working database path taken at construction.
    QString WorkingDatabase() const { return m_strDBName; }
    // The bridge that hears of the look for the working database before
    // it is made; may be null.
    void SetMusicLink(const CMusicLink* link) { m_pMusicLink = link; }
    // A look CheckingIsSave began, or the question it led to, has not
    // been answered yet.
    bool IsLooking() const { return m_bLooking; }

signals:
    void Complete(const QStringList& paths, const QString& path, EMusicRunMode mode);
    void SetPreferences();
    void Duplicate();

public slots:
    // Asks whether to continue when the working database exists, once a
    // worker has looked (the data folder may lie on a slow disk or a
    // share); runs once by itself shortly after construction.
    void CheckingIsSave();
    void StartCleaneriTunes();
    void OpenMusicFiles();
    // Requests a chosen project by its file; the window copies it over the
    // working database first, which stays as it was when that fails.
    void LoadSaveResult();
    void Setting();
    void FaceBook();
    void Twitter();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPushButton* NewButton(const QString& text, const QString& tip, const char* name,
                           const QString& image, bool large);
    void BuildLayout(QPushButton* settings, QPushButton* facebook, QPushButton* twitter);
    void Emit(const QStringList& paths, const QString& path, EMusicRunMode mode);
    // Another page stands in the screen's place or masks it.
    bool IsPutAside() const;
    // The look's answer, on the GUI thread.
    void AskAboutKeptRun();

    QPushButton* m_pCleanerBtn = nullptr;
    QPushButton* m_pOpenBtn = nullptr;
    QPushButton* m_pLoadBtn = nullptr;
    QPushButton* m_pDuplicateBtn = nullptr;
    QString m_strDBName;
    QString m_strPath;
    const CMusicLink* m_pMusicLink = nullptr;
    // Whether the working database is there.
    QFutureWatcher<bool> m_look;
    bool m_bLooking = false;
};

// The start screen's own button template, filled as the screen fills it.
QString StartButtonStyle(const QString& name, const QString& image, const QString& color,
                         const QString& hoverColor, int width, int height, int padding);
