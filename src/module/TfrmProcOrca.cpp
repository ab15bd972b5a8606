#include "TfrmProcOrca.h"

#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Closing.h"
#include "Components.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "DataSetLayout.h"
#include "Dialogs.h"
#include "EventGuard.h"
#include "Execution.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "Variants.h"

using namespace Qt::StringLiterals;

using namespace Cli_ore06400;

namespace {

bool Shown(const QWidget* w) { return !w->isHidden(); }

} // namespace

TfrmProcOrca::TfrmProcOrca(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmProcOrca"));
    setupUi(clientArea());
    clientArea()->setFixedSize(451, 142);
    setWindowTitle(clientArea()->windowTitle());
    lblCodTela->setText(QStringLiteral("ORE06400"));

    msgPadrao->LoadFromFile(QStringLiteral(":/Pkg_ore06400/TfrmProcOrca.msgPadrao.txt"));
    msgPadraoExec = new TMessages(this, QStringLiteral("msgPadraoExec"));
    msgPadraoExec->LoadFromFile(QStringLiteral(":/Pkg_ore06400/TfrmProcOrca.msgPadraoExec.txt"));

    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/TfrmProcOrca.datasets.json"));
    cdsOperControle = findChild<TClientDataSet*>(QStringLiteral("cdsOperControle"), Qt::FindDirectChildrenOnly);
    cdsParamControle = findChild<TClientDataSet*>(QStringLiteral("cdsParamControle"), Qt::FindDirectChildrenOnly);
    quote = new TQuoteContext(this);
    approval = new TApproval(*this, *quote);
    closing = new TClosing(*this, *quote);
    execution = new TExecution(*this, *quote);

    approval->cdsOpcao->OnCalcFields = [this](TClientDataSet& ds) { cdsOpcaoCalcFields(ds); };
    approval->cdsPropostaPgto->OnCalcFields = [this](TClientDataSet& ds) { cdsPropostaPgtoCalcFields(ds); };
    approval->cdsSalaoEven->OnCalcFields = [this](TClientDataSet& ds) { cdsSalaoEvenCalcFields(ds); };
    execution->cdsErro->FieldByName(QStringLiteral("CDERRO"))->OnGetText = [this](TField& f, QString& t, bool d) { cdsErroCDERROGetText(f, t, d); };
    execution->cdsErroFil->FieldByName(QStringLiteral("CDERRO"))->OnGetText = [this](TField& f, QString& t, bool d) {
        cdsErroFilCDERROGetText(f, t, d);
    };
    for (TClientDataSet* record : {quote->cdsOrcaEvento, closing->cdsOrcaEventoFech, execution->cdsOrcaEventoExec})
        record->AfterPost = [this](TClientDataSet& ds) { cdsOrcaEventoAfterPost(ds); };

    ConnectHandler(sbtConfirma, &QToolButton::clicked, this, [this] { sbtConfirmaClick(); });
    FormCreate();
}

TfrmProcOrca::~TfrmProcOrca() = default;

QString TfrmProcOrca::Msg(const char* key) const { return msgPadrao->Msg(QString::fromLatin1(key)); }

// ---- the workflows and their checks, as the dialog offers them

void TfrmProcOrca::AprovarOrca() { approval->Run(); }
void TfrmProcOrca::FecharOrca() { closing->Run(); }
void TfrmProcOrca::ExecOrca() { execution->Run(); }
void TfrmProcOrca::ValidaEnderecoEntrega() { approval->ValidaEnderecoEntrega(); }
void TfrmProcOrca::ValidaSalao() { approval->ValidaSalao(); }
void TfrmProcOrca::Vd_DescMax() { approval->Vd_DescMax(); }
QString TfrmProcOrca::PropostaPagamento(const QString& branch, const QString& quoteNumber, const QString& sequence)
{
    return approval->PropostaPagamento(branch, quoteNumber, sequence);
}
void TfrmProcOrca::cdsOrcaEventoAfterPost(TClientDataSet&) { approval->HandOverPaymentMode(); }
void TfrmProcOrca::Vd_BloqPreBase() { execution->Vd_BloqPreBase(); }
void TfrmProcOrca::Vd_ExecProd() { execution->Vd_ExecProd(); }
void TfrmProcOrca::Vd_ExecMate() { execution->Vd_ExecMate(); }

void TfrmProcOrca::FormCreate()
{
    TfrmRotiGeral::FormCreate();

    stCdFilial = stCdFili;
    stNrOrcamento = stNrOrca;
    stNrSequencia = stNrSeq;

    for (TNetConnection* net : {quote->netProcessaOrca, approval->netAprovacao, closing->netFechamento, execution->netExecucao,
                                execution->netFechaOrca, closing->netContratante})
        net->SetConnected(true);

    quote->cdsOrcaEvento->CreateDataSet();
    quote->cdsInteclieOrev->CreateDataSet();

    edtOrcaEven->setText(stNrOrca + QLatin1Char('/') + stNrSeq);

    QVariantList args{stCdOperador};
    const QVariant payload = CheckResultServ(quote->netProcessaOrca->CallRef(QStringLiteral("GetOperControle"), args));
    stCdOperador = args.value(0).toString();
    cdsOperControle->SetData(VarElement(payload, 0, QStringLiteral("GetOperControle")));
    cdsParamControle->SetData(VarElement(payload, 1, QStringLiteral("GetOperControle")));

    QString operatorRights, parameterRights;
    if (stTelaOrc == QLatin1String("ORE00100")) {
        operatorRights = cdsOperControle->Text(u"CDPROCHABLANOPE"_s);
        parameterRights = cdsParamControle->Text(u"CDPROCHABLANORE"_s);
    } else if (stTelaOrc == QLatin1String("ORE00400")) {
        operatorRights = cdsOperControle->Text(u"CDPROCHABAPROPE"_s);
        parameterRights = cdsParamControle->Text(u"CDPROCHABAPRORE"_s);
    } else if (stTelaOrc == QLatin1String("ORE00800")) {
        operatorRights = cdsOperControle->Text(u"CDPROCHABFECOPE"_s);
        parameterRights = cdsParamControle->Text(u"CDPROCHABFECORE"_s);
    }
    SetUpActions(cdsOperControle->IsEmpty() ? parameterRights : operatorRights);
    MoveVisibleButtonsUp();

    for (QRadioButton* button : {rbtAprovar, rbtAprovFech, rbtAprovFechExec})
        if (Shown(button)) {
            button->setChecked(true);
            break;
        }
}

// The situation box and the three actions, by the situation and the rights that apply.
void TfrmProcOrca::SetUpActions(const QString& rights)
{
    const bool approve = rights.contains(QLatin1String("APROVAR"));
    const bool close = rights.contains(QLatin1String("FECHAR"));
    const bool execute = rights.contains(QLatin1String("EXECUTAR"));

    switch (static_cast<TQuoteSituation>(inStatusOrca)) {
    case TQuoteSituation::Pending:
        edtSituacao->setText(Msg("PEND"));
        rbtAprovar->setText(Msg("Aprov"));
        rbtAprovar->setVisible(approve);
        rbtAprovFech->setText(Shown(rbtAprovar) ? Msg("Aprov_Fech") : Msg("Fech"));
        rbtAprovFech->setVisible(close);
        rbtAprovFechExec->setText(!Shown(rbtAprovFech) ? Msg("Exec") : Shown(rbtAprovar) ? Msg("Aprov_Fech_Exec") : Msg("Fech_Exec"));
        rbtAprovFechExec->setVisible(execute);
        return;
    case TQuoteSituation::Approved:
        edtSituacao->setText(Msg("APROVADO"));
        rbtAprovar->setVisible(false);
        rbtAprovFech->setText(Msg("Fech"));
        rbtAprovFech->setVisible(close);
        rbtAprovFechExec->setText(Shown(rbtAprovFech) ? Msg("Fech_Exec") : Msg("Exec"));
        rbtAprovFechExec->setVisible(execute);
        return;
    case TQuoteSituation::Closed: edtSituacao->setText(Msg("FECHADO")); break;
    case TQuoteSituation::ExecutedForProduction: edtSituacao->setText(Msg("EXEC_PROD")); break;
    case TQuoteSituation::ExecutedForMaterials: edtSituacao->setText(Msg("EXEC_MATE")); break;
    default: break;
    }
    rbtAprovar->setVisible(false);
    rbtAprovFech->setVisible(false);
    rbtAprovFechExec->setText(Msg("Exec"));
    rbtAprovFechExec->setVisible(execute);
}

// No gap is left above or between the visible actions.
void TfrmProcOrca::MoveVisibleButtonsUp()
{
    const bool a = Shown(rbtAprovar), f = Shown(rbtAprovFech), x = Shown(rbtAprovFechExec);
    auto moveTo = [](QWidget* w, int top) { w->move(w->x(), top); };
    if (!a && f && x) {
        moveTo(rbtAprovFech, 20);
        moveTo(rbtAprovFechExec, 47);
    } else if (!a && !f && x) {
        moveTo(rbtAprovFechExec, 20);
    } else if (a && !f && x) {
        moveTo(rbtAprovFechExec, 47);
    }
}

void TfrmProcOrca::sbtConfirmaClick()
{
    bool executed = false;

    if (inStatusOrca == TQuoteSituation::Pending) {
        if (rbtAprovar->isChecked())
            AprovarOrca();
        if (rbtAprovFech->isChecked()) {
            if (rbtAprovFech->text() == Msg("Aprov_Fech")) {
                AprovarOrca();
                FecharOrca();
            } else if (inStatusOrca == TQuoteSituation::Approved) {
                FecharOrca();
            } else {
                StopWithError(Msg("Orca_N_Fech"));
            }
            executed = false;
        }
        if (rbtAprovFechExec->isChecked()) {
            if (rbtAprovFechExec->text() == Msg("Aprov_Fech_Exec")) {
                AprovarOrca();
                FecharOrca();
                ExecOrca();
                executed = true;
            } else if (rbtAprovFechExec->text() == Msg("Fech_Exec")) {
                if (inStatusOrca == TQuoteSituation::Approved) {
                    FecharOrca();
                    ExecOrca();
                    executed = true;
                } else {
                    StopWithError(Msg("Orca_N_Fech"));
                }
            } else if (inStatusOrca == TQuoteSituation::Closed) {
                ExecOrca();
                executed = true;
            } else {
                StopWithError(Msg("Orca_N_Exec"));
            }
        }
    } else if (inStatusOrca == TQuoteSituation::Approved) {
        if (rbtAprovFech->isChecked()) {
            FecharOrca();
            executed = false;
        }
        if (rbtAprovFechExec->isChecked()) {
            if (rbtAprovFechExec->text() == Msg("Fech_Exec")) {
                FecharOrca();
                ExecOrca();
                executed = true;
            } else if (inStatusOrca == TQuoteSituation::Closed) {
                ExecOrca();
                executed = true;
            } else {
                StopWithError(Msg("Orca_N_Exec"));
            }
        }
    } else if (rbtAprovFechExec->isChecked()) {
        ExecOrca();
        executed = true;
    }

    msgPadrao->ShowMsg(executed && boSemSucess ? QStringLiteral("SUCESSO_PROC_INC") : QStringLiteral("SUCESSO_PROC"), mtInformation, mbOK, 0);
    Close();
}

void TfrmProcOrca::FormClose()
{
    TfrmRotiGeral::FormClose();
    for (TNetConnection* net : {quote->netProcessaOrca, approval->netAprovacao, closing->netFechamento, execution->netExecucao,
                                closing->netContratante, execution->netFechaOrca})
        net->SetConnected(false);
    boIdCriado = false;
}
