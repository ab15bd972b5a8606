#include "BaseForms.h"

#include "ClientDataSet.h"
#include "Components.h"
#include "Crv_msg.h"
#include "Errors.h"
#include "EventGuard.h"
#include "HostServices.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

// ============================================================================ TfrmBase

TfrmBase::TfrmBase(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("clientArea"));
    lblCodTela = new QLabel(this);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    msgPadrao = new TMessages(this, QStringLiteral("msgPadrao"));
}

TfrmBase::~TfrmBase()
{
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

int TfrmBase::ShowModal() { return HostServices().showModal(this); }

void TfrmBase::Close()
{
    // Qt sends no close event to a window that is hidden already; the handling runs anyway.
    QCloseEvent event;
    closeEvent(&event);
}

void TfrmBase::ShowNotice(const QString& text)
{
    if (!m_notice) {
        if (text.isEmpty())
            return;
        m_notice = new QLabel(this);
        m_notice->setObjectName(QStringLiteral("lblAviso"));
        m_notice->setWordWrap(true);
        m_notice->setMargin(8);
        m_notice->setStyleSheet(QStringLiteral("background: #fff4ce; color: #4a3b00; border-bottom: 1px solid #e0c870;"));
        auto* box = qobject_cast<QBoxLayout*>(layout());
        box->insertWidget(box->indexOf(m_client), m_notice);
    }
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void TfrmBase::closeEvent(QCloseEvent* event)
{
    // FormClose may keep the window open by the silent abort (a record that cannot be saved).
    bool close = true;
    try {
        FormClose();
    } catch (const EAbort&) {
        close = false;
    } catch (const std::exception& e) {
        MensErro(QString::fromUtf8(e.what()), false);
    }
    if (!close) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void TfrmBase::reject() { close(); }

void TfrmBase::showEvent(QShowEvent* event)
{
    // Greyed text is for what cannot be used; a box that only shows a value is read as usual.
    for (QLineEdit* box : findChildren<QLineEdit*>()) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
        palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
        box->setPalette(palette);
    }
    QDialog::showEvent(event);
}

// ============================================================================ TfrmRotiGeral

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent) : TfrmBase(parent)
{
    panBotoes = new QWidget(this);
    panBotoes->setObjectName(QStringLiteral("panBotoes"));
    // Two raised buttons, the default one in bold, so that both read as buttons.
    sbtConfirma = new TButtonFlat(panBotoes, QStringLiteral("sbtConfirma"), QStringLiteral("&Confirmar"));
    sbtConfirma->setToolTip(QStringLiteral("Confirmar (Enter)"));
    sbtFechar = new TButtonFlat(panBotoes, QStringLiteral("sbtFechar"), QStringLiteral("&Fechar"));
    sbtFechar->setToolTip(QStringLiteral("Fechar sem processar (Esc)"));
    for (TButtonFlat* b : {sbtConfirma, sbtFechar}) {
        b->setAutoRaise(false);
        b->setMinimumWidth(96);
        b->setFocusPolicy(Qt::StrongFocus);
    }
    QFont bold = sbtConfirma->font();
    bold.setBold(true);
    sbtConfirma->setFont(bold);
    connect(sbtFechar, &QToolButton::clicked, this, [this] { close(); });
    auto* buttons = new QHBoxLayout(panBotoes);
    buttons->setContentsMargins(6, 4, 6, 4);
    buttons->addWidget(lblCodTela);
    buttons->addStretch();
    buttons->addWidget(sbtConfirma);
    buttons->addWidget(sbtFechar);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_client, 1);
    layout->addWidget(panBotoes);
}

void TfrmRotiGeral::keyPressEvent(QKeyEvent* event)
{
    // Enter presses the button that has the focus, and otherwise the default one.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        auto* focused = qobject_cast<QToolButton*>(focusWidget());
        QToolButton* button = focused ? focused : sbtConfirma;
        if (button->isVisible() && button->isEnabled()) {
            button->click();
            return;
        }
    }
    TfrmBase::keyPressEvent(event);
}

// ============================================================================ TfrmPadraoSimples

TfrmPadraoSimples::TfrmPadraoSimples(QWidget* parent) : TfrmBase(parent)
{
    msgMensagensPadroes = new TMessages(this, QStringLiteral("msgMensagensPadroes"));
    msgMensagensPadroes->SetLines({
        QStringLiteral("CONF_GRAVAR|O registro foi alterado. Deseja gravar as alterações?"),
    });
    dtsPadrao = new TDataSource(this, QStringLiteral("dtsPadrao"));
    dtsPadrao->OnStateChange = [this](TDataSource&) { RunHandler([this] { dtsPadraoStateChange(); }); };

    mnuMenu = new QMenuBar(this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    mnuManutencao = mnuMenu->addMenu(QStringLiteral("&Manutenção"));
    mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));

    panMenu = new QWidget(this);
    panMenu->setObjectName(QStringLiteral("panMenu"));
    m_toolbar = new QHBoxLayout(panMenu);
    m_toolbar->setContentsMargins(4, 2, 4, 2);
    m_toolbar->setSpacing(2);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new TButtonFlat(panMenu, QString::fromLatin1(name), caption);
        m_toolbar->addWidget(b);
        return b;
    };
    auto item = [this](const char* name, const QString& caption, const QKeySequence& shortcut = {}) {
        QAction* a = mnuManutencao->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(shortcut);
        return a;
    };

    sbtIncluir = button("sbtIncluir", QStringLiteral("Incluir"));
    sbtExcluir = button("sbtExcluir", QStringLiteral("Excluir"));
    sbtProcurar = button("sbtProcurar", QStringLiteral("Procurar"));
    sbtVerificar = button("sbtVerificar", QStringLiteral("Verificar"));
    sbtImprimir = button("sbtImprimir", QStringLiteral("Imprimir"));
    sbtGravar = button("sbtGravar", QStringLiteral("Gravar"));
    sbtCancelar = button("sbtCancelar", QStringLiteral("Cancelar"));
    m_toolbar->addStretch();
    sbtAjuda = button("sbtAjuda", QStringLiteral("Ajuda"));
    sbtFechar = button("sbtFechar", QStringLiteral("Fechar"));

    mnuIncluir = item("mnuIncluir", QStringLiteral("&Incluir"), QKeySequence(Qt::Key_Insert));
    mnuExcluir = item("mnuExcluir", QStringLiteral("&Excluir"), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    mnuProcurar = item("mnuProcurar", QStringLiteral("&Procurar"), QKeySequence(Qt::Key_F3));
    mnuVerificar = item("mnuVerificar", QStringLiteral("&Verificar"));
    mnuImprimir = item("mnuImprimir", QStringLiteral("Imp&rimir"));
    mnuConfImpressora = item("mnuConfImpressora", QStringLiteral("Con&figurar Impressora"));
    mnuManutencao->addSeparator();
    mnuGravar = item("mnuGravar", QStringLiteral("&Gravar"), QKeySequence(Qt::Key_F2));
    mnuCancelar = item("mnuCancelar", QStringLiteral("Ca&ncelar"));
    mnuManutencao->addSeparator();
    mnuAjuda = item("mnuAjuda", QStringLiteral("A&juda"), QKeySequence(Qt::Key_F1));
    mnuFechar = item("mnuFechar", QStringLiteral("&Fechar"));

    auto wire = [this](TButtonFlat* b, QAction* a, std::function<void()> handler) {
        connect(b, &QToolButton::clicked, this, [handler] { RunHandler(handler); });
        connect(a, &QAction::triggered, this, [handler] { RunHandler(handler); });
    };
    wire(sbtGravar, mnuGravar, [this] { Gravar(); });
    wire(sbtCancelar, mnuCancelar, [this] { Cancelar(); });
    wire(sbtFechar, mnuFechar, [this] { Close(); });
    wire(sbtAjuda, mnuAjuda, [this] {
        MessageDlg(QStringLiteral("%1 – %2").arg(windowTitle(), lblCodTela->text()), mtInformation, mbOK, 0);
    });
    // The base has no include, delete, search, verify or print of its own.
    for (TButtonFlat* b : {sbtIncluir, sbtExcluir, sbtProcurar, sbtVerificar, sbtImprimir})
        b->setEnabled(false);
    for (QAction* a : {mnuIncluir, mnuExcluir, mnuProcurar, mnuVerificar, mnuImprimir, mnuConfImpressora})
        a->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(mnuMenu);
    layout->addWidget(panMenu);
    layout->addWidget(m_client, 1);
    layout->addWidget(lblCodTela);
    lblCodTela->setContentsMargins(6, 2, 6, 2);
}

QAction* TfrmPadraoSimples::AddCommand(TButtonFlat* button, const QString& menuName, const QString& menuCaption,
                                       const QKeySequence& shortcut, const std::function<void()>& handler)
{
    button->setParent(panMenu);
    m_toolbar->insertWidget(m_toolbar->indexOf(sbtCancelar) + 1, button);
    QAction* a = new QAction(menuCaption, this);
    a->setObjectName(menuName);
    a->setShortcut(shortcut);
    a->setShortcutContext(Qt::WindowShortcut);
    mnuManutencao->insertAction(mnuAjuda, a);
    addAction(a);
    connect(button, &QToolButton::clicked, this, [handler] { RunHandler(handler); });
    connect(a, &QAction::triggered, this, [handler] { RunHandler(handler); });
    return a;
}

void TfrmPadraoSimples::Follow(QAction* item, const TButtonFlat* button) { item->setEnabled(button->isEnabled()); }

void TfrmPadraoSimples::Gravar()
{
    if (TClientDataSet* ds = dtsPadrao->DataSet(); ds && (ds->State() == dsEdit || ds->State() == dsInsert))
        ds->Post();
}

void TfrmPadraoSimples::Cancelar()
{
    if (TClientDataSet* ds = dtsPadrao->DataSet())
        ds->Cancel();
}

void TfrmPadraoSimples::FormCreate() { dtsPadraoStateChange(); }

void TfrmPadraoSimples::FormClose()
{
    // An edit still open when the window closes: the operator chooses to keep it or not.
    TClientDataSet* ds = dtsPadrao->DataSet();
    if (!ds || (ds->State() != dsEdit && ds->State() != dsInsert))
        return;
    if (ds->Modified() && msgMensagensPadroes->ShowMsg(QStringLiteral("CONF_GRAVAR"), mtConfirmation, mbYes | mbNo, 0) == mrYes)
        ds->Post();
    else
        ds->Cancel();
}

void TfrmPadraoSimples::dtsPadraoStateChange()
{
    const TDataSetState state = dtsPadrao->State();
    const bool editing = state == dsEdit || state == dsInsert;
    sbtGravar->setEnabled(editing);
    sbtCancelar->setEnabled(editing);
    Follow(mnuGravar, sbtGravar);
    Follow(mnuCancelar, sbtCancelar);
}
