#pragma once
// Small components of the forms: a toolbar button, a search button, and an edit box bound to
// a dataset field.

#include "ClientDataSet.h"

#include <QLineEdit>
#include <QPointer>
#include <QToolButton>

#include <functional>


// A flat toolbar button with a caption.
class TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget* parent = nullptr, const QString& name = {}, const QString& caption = {});
};

// A search button: its click runs BeforePesq (which may cancel by clearing its flag), then the
// record choice over DataSource with Title and EmptyText, then AfterPesq when a record was
// picked (it is the dataset's current record).
//
// Tab reaches it, and F4 in its box (the edit box just left of it on the same row, as the
// forms lay them out) presses it.
class TBtnPesquisa : public QToolButton {
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget* parent = nullptr, const QString& name = {});
    static constexpr Qt::Key SearchKey = Qt::Key_F4;
    QWidget* Box() const { return m_box; }

    QPointer<TDataSource> DataSource;
    QString Title;
    QString EmptyText;
    std::function<void(QObject* sender, bool& proceed)> BeforePesq;
    std::function<void(QObject* sender)> AfterPesq;

    // The search itself, as a click runs it (without the error handling of a click).
    bool Execute();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_box;
};

// An edit box bound to a field of a data source. It shows the current record's field text
// (read again when the record moves or its values change, not when it merely enters edit);
// typing puts the record into edit state and writes the text to the field at once, so the
// field holds the box's text before the box is left and before a post's checks run.
class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget* parent = nullptr, const QString& name = {});

    void SetDataSource(TDataSource* source);
    void SetDataField(const QString& fieldName);
    TDataSource* DataSource() const { return m_source; }
    QString DataField() const { return m_fieldName; }
    TField* Field() const;

signals:
    void exited();   // the box lost the focus

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void refresh();
    void write(const QString& text);

    QPointer<TDataSource> m_source;
    QString m_fieldName;
    bool m_writing = false;
};

// Enables or disables every control inside `control`, at any depth (not `control` itself).
void SetChildEnabled(QWidget* control, bool enabled);
