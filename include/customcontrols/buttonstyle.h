// The one style-sheet template of the application's image buttons.
#pragma once

#include <QString>

// Style of the QPushButton named name, drawn from the four images
// ":/res/res/mac/button/<image>{,_on,_down,_disable}.png" at width x height,
// with its text in color at fontPx pixels, bold.
QString ImageButtonStyle(const QString& name, const QString& image, int width, int height,
                         const QString& color, int fontPx);
