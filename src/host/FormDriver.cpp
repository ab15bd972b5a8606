#include "FormDriver.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

namespace {

bool named(const QObject* o)
{
    const QString n = o->objectName();
    return !n.isEmpty() && !n.startsWith(QLatin1String("qt_"));
}

template <class T>
T* find(QWidget* form, const QString& name)
{
    if (name.isEmpty())
        return nullptr;
    return form->findChild<T*>(name);
}

QString unusable(QWidget* form, QWidget* w, const QString& name)
{
    if (!w)
        return QStringLiteral("não há controle %1 em %2").arg(name, QString::fromLatin1(form->metaObject()->className()));
    if (!w->isVisibleTo(form))
        return QStringLiteral("%1 não está visível").arg(name);
    if (!w->isEnabled())
        return QStringLiteral("%1 está desabilitado").arg(name);
    return {};
}

void settle() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// Gives the focus to `w` as a click or a Tab would: the previous control gets its focus-out.
void focus(QWidget* form, QWidget* w)
{
    form->activateWindow();
    QApplication::setActiveWindow(form);
    w->setFocus(Qt::TabFocusReason);
    settle();
}

// Leaves `w` as Tab would: the focus goes to the next control that accepts it.
void leave(QWidget* form, QWidget* w)
{
    QWidget* next = w->nextInFocusChain();
    while (next && next != w && (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisibleTo(form) || !next->isEnabled()))
        next = next->nextInFocusChain();
    if (next && next != w)
        next->setFocus(Qt::TabFocusReason);
    else
        w->clearFocus();
    settle();
}

void type(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &release);
    }
}

QJsonObject snapshot(QWidget* form, QWidget* w)
{
    QJsonObject o;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        o[QStringLiteral("text")] = b->text();
        if (b->isCheckable())
            o[QStringLiteral("checked")] = b->isChecked();
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        o[QStringLiteral("text")] = l->text();
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        o[QStringLiteral("text")] = e->echoMode() == QLineEdit::Normal ? e->text() : QString();
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        o[QStringLiteral("text")] = g->title();
        if (g->isCheckable())
            o[QStringLiteral("checked")] = g->isChecked();
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        o[QStringLiteral("text")] = c->currentText();
        o[QStringLiteral("index")] = c->currentIndex();
    } else if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
        // A list or grid: its column titles and the texts of its rows, as shown.
        const QAbstractItemModel* m = v->model();
        QJsonArray columns, rows;
        for (int col = 0; col < m->columnCount(); ++col)
            columns.append(m->headerData(col, Qt::Horizontal).toString());
        for (int row = 0; row < std::min(m->rowCount(), 200); ++row) {
            QJsonArray cells;
            for (int col = 0; col < m->columnCount(); ++col)
                cells.append(m->data(m->index(row, col)).toString());
            rows.append(cells);
        }
        o[QStringLiteral("columns")] = columns;
        o[QStringLiteral("rows")] = rows;
    }
    o[QStringLiteral("visible")] = w->isVisibleTo(form);
    o[QStringLiteral("enabled")] = w->isEnabled();
    o[QStringLiteral("top")] = w->geometry().top();
    return o;
}

} // namespace

QJsonObject SnapshotWidgets(QWidget* form)
{
    QJsonObject widgets;
    for (QWidget* w : form->findChildren<QWidget*>())
        if (named(w) && !widgets.contains(w->objectName()))
            widgets[w->objectName()] = snapshot(form, w);
    for (QAction* a : form->findChildren<QAction*>()) {
        if (!named(a) || widgets.contains(a->objectName()))
            continue;
        QJsonObject o{{QStringLiteral("text"), a->text()},
                      {QStringLiteral("visible"), a->isVisible()},
                      {QStringLiteral("enabled"), a->isEnabled()}};
        if (a->isCheckable())
            o[QStringLiteral("checked")] = a->isChecked();
        widgets[a->objectName()] = o;
    }
    return widgets;
}

QString RunFormAction(QWidget* form, const QJsonObject& action)
{
    if (action.size() != 1)
        return QStringLiteral("uma ação tem exatamente uma chave");
    const QString verb = action.begin().key();
    const QJsonValue arg = action.begin().value();

    if (verb == QLatin1String("check") || verb == QLatin1String("click")) {
        const QString name = arg.toString();
        if (verb == QLatin1String("click")) {
            if (auto* a = form->findChild<QAction*>(name); a && !find<QWidget>(form, name)) {
                if (!a->isEnabled())
                    return QStringLiteral("%1 está desabilitado").arg(name);
                a->trigger();
                settle();
                return {};
            }
        }
        auto* b = find<QAbstractButton>(form, name);
        if (QString why = unusable(form, b, name); !why.isEmpty())
            return why;
        if (verb == QLatin1String("check")) {
            if (!b->isCheckable())
                return QStringLiteral("%1 não pode ser marcado").arg(name);
            if (!b->isChecked())
                b->click();
        } else {
            b->click();
        }
        settle();
        return {};
    }
    if (verb == QLatin1String("text")) {
        const QJsonArray a = arg.toArray();
        const QString name = a.at(0).toString();
        auto* e = find<QLineEdit>(form, name);
        if (QString why = unusable(form, e, name); !why.isEmpty())
            return why;
        if (e->isReadOnly())
            return QStringLiteral("%1 é somente leitura").arg(name);
        focus(form, e);
        e->selectAll();
        const QString value = a.at(1).toString();
        if (value.isEmpty() && !e->text().isEmpty()) {
            QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
            QCoreApplication::sendEvent(e, &del);
        }
        type(e, value);
        leave(form, e);
        return {};
    }
    if (verb == QLatin1String("select")) {
        const QJsonArray a = arg.toArray();
        const QString name = a.at(0).toString();
        auto* c = find<QComboBox>(form, name);
        if (QString why = unusable(form, c, name); !why.isEmpty())
            return why;
        const int index = a.at(1).toInt(-1);
        if (index < 0 || index >= c->count())
            return QStringLiteral("%1 não tem a entrada %2").arg(name).arg(index);
        focus(form, c);
        c->setCurrentIndex(index);
        emit c->activated(index);
        settle();
        return {};
    }
    if (verb == QLatin1String("focus")) {
        const QString name = arg.toString();
        auto* w = find<QWidget>(form, name);
        if (QString why = unusable(form, w, name); !why.isEmpty())
            return why;
        focus(form, w);
        return {};
    }
    if (verb == QLatin1String("post") || verb == QLatin1String("cancel")) {
        const QString name = verb == QLatin1String("post") ? QStringLiteral("sbtGravar") : QStringLiteral("sbtCancelar");
        auto* b = find<QAbstractButton>(form, name);
        if (!b)
            return QStringLiteral("%1 não tem registro para %2").arg(QString::fromLatin1(form->metaObject()->className()),
                                                                        verb == QLatin1String("post") ? QStringLiteral("gravar") : QStringLiteral("cancelar"));
        if (!b->isEnabled())
            return QStringLiteral("não há registro em edição");
        b->click();
        settle();
        return {};
    }
    if (verb == QLatin1String("close")) {
        form->close();
        settle();
        return {};
    }
    return QStringLiteral("ação desconhecida \"%1\"").arg(verb);
}
