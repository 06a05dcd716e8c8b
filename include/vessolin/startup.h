// Start-up of the application: its identity, style, the one-instance
// guard, the main window and the automatic update check.
#pragma once

#include <QDate>

class CMainUI;
class QApplication;

// Organisation "zorva", the bundle identifier and version into the shared
// globals, the application name (the identifier less its first ten
// characters). False when there is no identifier at all: the folders
// would then be the user's own Music and Pictures folders.
bool SetApplicationIdentity(QApplication& app);
// The Fusion style and the compiled-in style sheet (skipped when missing).
void ApplyApplicationStyle(QApplication& app);

// Whether the automatic check is due today for schedule ("Auto_update":
// 1 every days days, 2 daily, 3 on Mondays, 4 monthly, others never) after
// a last check on last (an invalid date lies before every day). Never
// twice on one day.
bool IsUpdateDue(int schedule, int days, const QDate& last, const QDate& today);
// Starts the check when due and records today as the day of the last
// check; true when a check was started.
bool RunScheduledUpdate(CMainUI& window, const QDate& today = QDate::currentDate());

// The whole program: returns the event loop's exit code, or 1 when it
// refuses to start (no identifier, another Vessolin running).
int RunVessolin(int argc, char** argv);
