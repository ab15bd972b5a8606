#pragma once
// What the stand-in screens share: a small form with labelled boxes and a row of buttons,
// and calls to their server objects.

#include "BaseForms.h"

#include <QVariant>

#include <functional>

class QFormLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

class TScreenForm : public TfrmBase {
    Q_OBJECT
public:
    TScreenForm(const QString& caption, const QString& screenCode);

    QLineEdit* AddEdit(const char* name, const QString& label, const QString& text = {}, bool readOnly = false);
    void AddRow(const QString& label, QWidget* widget);
    void AddWidget(QWidget* widget);   // across the form, above the boxes' rows
    QPushButton* AddButton(const char* name, const QString& caption, const std::function<void()>& handler);

private:
    QVBoxLayout* m_layout;
    QFormLayout* m_rows;
    QHBoxLayout* m_buttons;
};

// A call to a server object, with the result checked (a refusal is shown and ends the action).
QVariant CallServer(const QString& object, const QString& method, const QVariantList& args = {});

// Element i of a parameter array, or an empty value when the array is shorter.
QVariant Param(const QVariant& params, int index);
