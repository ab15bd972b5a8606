#include "Components.h"

#include "ClientDataSet.h"
#include "EventGuard.h"
#include "HostServices.h"

#include <QKeyEvent>

#include <limits>

TButtonFlat::TButtonFlat(QWidget* parent, const QString& name, const QString& caption) : QToolButton(parent)
{
    setObjectName(name);
    setText(caption);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}

TBtnPesquisa::TBtnPesquisa(QWidget* parent, const QString& name) : QToolButton(parent)
{
    setObjectName(name);
    setText(QStringLiteral("..."));
    setToolTip(QStringLiteral("Pesquisar (F4 na caixa ao lado)"));
    setFocusPolicy(Qt::TabFocus);   // a click leaves the focus in the box, whose check waits until it is left
    connect(this, &QToolButton::clicked, this, [this] { RunHandler([this] { Execute(); }); });
}

void TBtnPesquisa::showEvent(QShowEvent* event)
{
    QToolButton::showEvent(event);
    if (m_box || !parentWidget())
        return;
    // The box is the nearest edit box that ends left of the button and shares its row.
    int nearest = std::numeric_limits<int>::max();
    for (QWidget* sibling : parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect g = sibling->geometry();
        if (!qobject_cast<QLineEdit*>(sibling) || g.right() > x() || g.bottom() < y() || g.top() > geometry().bottom())
            continue;
        if (const int gap = x() - g.right(); gap < nearest) {
            nearest = gap;
            m_box = sibling;
        }
    }
    if (m_box)
        m_box->installEventFilter(this);
}

bool TBtnPesquisa::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_box && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == SearchKey
        && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier && isVisible() && isEnabled()) {
        click();
        return true;
    }
    return QToolButton::eventFilter(watched, event);
}

bool TBtnPesquisa::Execute()
{
    bool proceed = true;
    if (BeforePesq)
        BeforePesq(this, proceed);
    if (!proceed)
        return false;
    if (!Pesquisar(DataSource, Title + QLatin1Char('|') + EmptyText, false, true))
        return false;
    if (AfterPesq)
        AfterPesq(this);
    return true;
}

TDBEdit::TDBEdit(QWidget* parent, const QString& name) : QLineEdit(parent)
{
    setObjectName(name);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { RunHandler([&] { write(text); }); });
}

void TDBEdit::SetDataSource(TDataSource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &TDataSource::recordChanged, this, &TDBEdit::refresh);
        connect(source, &TDataSource::dataReset, this, &TDBEdit::refresh);
    }
    refresh();
}

void TDBEdit::SetDataField(const QString& fieldName)
{
    m_fieldName = fieldName;
    refresh();
}

TField* TDBEdit::Field() const
{
    if (!m_source || !m_source->DataSet() || m_fieldName.isEmpty())
        return nullptr;
    return m_source->DataSet()->FindField(m_fieldName);
}

void TDBEdit::refresh()
{
    if (m_writing)
        return;
    TField* field = Field();
    const bool active = field && field->DataSet()->Active();
    if (field && field->Size() > 0 && (field->DataType() == TFieldType::String || field->DataType() == TFieldType::FixedString))
        setMaxLength(field->Size());
    const QString text = active ? field->Text() : QString();
    if (text != this->text())
        setText(text);
}

void TDBEdit::write(const QString& text)
{
    TField* field = Field();
    if (!field || !field->DataSet()->Active())
        return;
    m_writing = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_writing};
    TClientDataSet* ds = field->DataSet();
    if (ds->State() != dsEdit && ds->State() != dsInsert)
        ds->Edit();
    field->SetAsString(text);
}

void TDBEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    emit exited();
}

void SetChildEnabled(QWidget* control, bool enabled)
{
    if (!control)
        return;
    for (QWidget* child : control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setEnabled(enabled);
        SetChildEnabled(child, enabled);
    }
}
