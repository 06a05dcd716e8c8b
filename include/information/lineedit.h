// A one-line field that keeps its full text and, while it has no keyboard
// focus, shows it cut to its width with "...". GUI thread only.
#pragma once

#include <QLineEdit>
#include <QString>

class CLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit CLineEdit(QWidget* parent = nullptr);
    ~CLineEdit() override;

    // The full text, never the shortened one on screen. Hides QLineEdit's
    // accessors: call them through a CLineEdit pointer.
    QString text() const { return m_strText; }
    // Stores the full text; the screen follows at the next paint, or at
    // once in a field that has the focus, where the user edits it whole.
    void setText(const QString& text);
    // Puts the full text on screen now, as a focus-in does at its first
    // paint; for a caller that selects it before giving the focus.
    void ShowFullText();

public slots:
    // Typing (while focused) goes into the full text.
    void TextChanged(const QString& text);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString shownText() const;
    // true when the screen text changed.
    bool showText(const QString& text);

    QString m_strText;
    int m_iEllipsisWidth = 0;
    bool m_bFocus = false;
    bool m_bFocusIn = false;
};
