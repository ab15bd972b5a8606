#include "ScreenKit.h"

#include "Consiste.h"
#include "EventGuard.h"
#include "NetConnection.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TScreenForm::TScreenForm(const QString& caption, const QString& screenCode)
{
    setWindowTitle(caption);
    lblCodTela->setText(screenCode);
    m_layout = new QVBoxLayout(clientArea());
    m_rows = new QFormLayout;
    m_layout->addLayout(m_rows);
    m_buttons = new QHBoxLayout;
    m_buttons->addWidget(lblCodTela);
    m_buttons->addStretch();
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(clientArea(), 1);
    outer->addLayout(m_buttons);
    resize(480, 200);
}

QLineEdit* TScreenForm::AddEdit(const char* name, const QString& label, const QString& text, bool readOnly)
{
    auto* edit = new QLineEdit(text, clientArea());
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(readOnly);
    m_rows->addRow(label, edit);
    return edit;
}

void TScreenForm::AddRow(const QString& label, QWidget* widget) { m_rows->addRow(label, widget); }

void TScreenForm::AddWidget(QWidget* widget) { m_layout->insertWidget(0, widget); }

QPushButton* TScreenForm::AddButton(const char* name, const QString& caption, const std::function<void()>& handler)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    m_buttons->addWidget(button);
    connect(button, &QPushButton::clicked, this, [handler] { RunHandler(handler); });
    return button;
}

QVariant CallServer(const QString& object, const QString& method, const QVariantList& args)
{
    TNetConnection net(nullptr, QStringLiteral("netTela"), object);
    return CheckResultServ(net.Call(method, args));
}

QVariant Param(const QVariant& params, int index)
{
    const QVariantList list = params.toList();
    return index < list.size() ? list.at(index) : QVariant();
}
