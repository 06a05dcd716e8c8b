// A small animated GIF writer: one shared palette for all frames, one
// transparent index, whole frames that replace each other.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

// Writes frames (all the same size) as a looping GIF. Pixels less than half
// opaque become transparent; the others are blended onto matte, since GIF
// has no partial transparency. Returns an empty string or the error.
QString writeGif(const QString& path, const QList<QImage>& frames, int delayMs, QColor matte);

// The frames as writeGif stores them (before palette reduction), for checks.
QImage flattenForGif(const QImage& frame, QColor matte);
