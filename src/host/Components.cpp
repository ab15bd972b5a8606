#include "Components.h"

#include "ClientDataSet.h"
#include "EventGuard.h"
#include "HostServices.h"

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
    setToolTip(QStringLiteral("Pesquisar"));
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, [this] { RunHandler([this] { Execute(); }); });
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
