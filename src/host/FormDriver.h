#pragma once
// Acting on a form as a person would, through the object names of its widgets, and taking a
// snapshot of its named widgets for the transcript.

#include <QJsonObject>
#include <QString>

class QWidget;

// Every named widget (and named menu item) of `form`: text, visible, enabled, checked where
// it has one, and top.
QJsonObject SnapshotWidgets(QWidget* form);

// Runs one action ({"check": name}, {"click": name}, {"text": [name, value]},
// {"select": [name, index]}, {"focus": name}, {"post": true}, {"cancel": true},
// {"close": true}). Returns an empty string when done, else why it could not be done
// (no such widget, hidden, disabled, unknown action).
QString RunFormAction(QWidget* form, const QJsonObject& action);
