#pragma once
// The pictures of every window the operator meets, for the documentation: the login, the
// quote list, the processing dialog (also under its wait animation), the information dialog,
// a question, the password confirmation, the tick and choice lists and each stand-in screen.

#include <QString>
#include <QStringList>

// Takes the pictures into `directory` on the logged-in session's branch, with the module
// opened on `quote` (a pending quote with several options and halls). Returns the files written.
QStringList TakeScreenshots(const QString& directory, const QString& quote);
