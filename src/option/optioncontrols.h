// Builders the duplicate options and their dialogs share. GUI thread only.
#pragma once

#include <QPushButton>
#include <QString>

namespace optioncontrols {

// The control takes no keyboard focus and is read out as name.
template <class T>
T* noFocus(T* control, const QString& name)
{
    control->setFocusPolicy(Qt::NoFocus);
    control->setAccessibleName(name);
    return control;
}

// A plain button read out by its text.
inline QPushButton* plainButton(const QString& text, QWidget* parent)
{
    return noFocus(new QPushButton(text, parent), text);
}

} // namespace optioncontrols
