#include "customcontrols/buttonstyle.h"

QString ImageButtonStyle(const QString& name, const QString& image, int width, int height,
                         const QString& color, int fontPx)
{
    return QStringLiteral(
               "QPushButton#%1{border:0;  color:%5;  font: bold %6px;min-width:  %3;  max-width: %3;"
               "max-height: %4; min-height: %4;border-image: url(:/res/res/mac/button/%2.png);}"
               "QPushButton#%1:hover{border-image: url(:/res/res/mac/button/%2_on.png);}"
               "QPushButton#%1:pressed{border-image: url(:/res/res/mac/button/%2_down.png);}"
               "QPushButton#%1:disabled{border-image: url(:/res/res/mac/button/%2_disable.png);}")
        .arg(name)
        .arg(image)
        .arg(width)
        .arg(height)
        .arg(color)
        .arg(fontPx);
}
