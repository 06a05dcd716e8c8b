// "vessolin.plist" is an XML property list, as the settings are on the
// Mac; this registers that format with QSettings.
#pragma once

#include <QSettings>

// The registered format (made once). Keys are written in the settings' own
// order; a file that is not a property list of one dictionary reads as a
// format error.
QSettings::Format PlistSettingsFormat();
