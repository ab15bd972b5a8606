#include "TfrmProcOrca.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Components.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "EventGuard.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "Variants.h"

using namespace Cli_ore06400;

namespace {

bool Shown(const QWidget* w) { return !w->isHidden(); }

TNetConnection* Connection(QObject* form, const char* name, const char* serverObject,
                           void (TfrmProcOrca::*handler)(TNetConnection&))
{
    auto* net = new TNetConnection(form, QString::fromLatin1(name), QString::fromLatin1(serverObject));
    auto* dialog = static_cast<TfrmProcOrca*>(form);
    net->BeforeConnect = [dialog, handler](TNetConnection& sender) { (dialog->*handler)(sender); };
    return net;
}

void PointAtServer(TNetConnection& net)
{
    net.Host = WebURL();
    net.Port = WebPort();
}

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

    netProcessaOrca = Connection(this, "netProcessaOrca", "ORE06400.rdmProcOrca", &TfrmProcOrca::netProcessaOrcaBeforeConnect);
    netAprovacao = Connection(this, "netAprovacao", "ORE00400.rdmAprovaOrca", &TfrmProcOrca::netAprovacaoBeforeConnect);
    netFechamento = Connection(this, "netFechamento", "ORE00800.rdmFechaOrca", &TfrmProcOrca::netFechamentoBeforeConnect);
    netExecucao = Connection(this, "netExecucao", "ORE02900.rdmExecProc", &TfrmProcOrca::netExecucaoBeforeConnect);
    netContratante = Connection(this, "netContratante", "ORE09000.rdmContratante", &TfrmProcOrca::netContratanteBeforeConnect);
    netFechaOrca = Connection(this, "netFechaOrca", "ORE02900.rdmExecProc", &TfrmProcOrca::netFechaOrcaBeforeConnect);

    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/TfrmProcOrca.datasets.json"));
    auto dataSet = [this](const char* name) { return findChild<TClientDataSet*>(QString::fromLatin1(name)); };
    cdsOperControle = dataSet("cdsOperControle");
    cdsParamControle = dataSet("cdsParamControle");
    cdsOrcaEvento = dataSet("cdsOrcaEvento");
    cdsInteclieOrev = dataSet("cdsInteclieOrev");
    dtsInteclieOrev = new TDataSource(this, QStringLiteral("dtsInteclieOrev"), cdsInteclieOrev);
    cdsOrcaEventoFech = dataSet("cdsOrcaEventoFech");
    cdsExisteContratante = dataSet("cdsExisteContratante");
    cdsEndeCont = dataSet("cdsEndeCont");
    cdsOperCadProd = dataSet("cdsOperCadProd");
    cdsOrcaEventoExec = dataSet("cdsOrcaEventoExec");
    cdsVerifOrcaExec = dataSet("cdsVerifOrcaExec");
    cdsPedidoOp = dataSet("cdsPedidoOp");
    cdsExpItemNeg = dataSet("cdsExpItemNeg");
    cdsOpItemNeg = dataSet("cdsOpItemNeg");
    cdsMatprimaItemNeg = dataSet("cdsMatprimaItemNeg");
    cdsTpOperPed = dataSet("cdsTpOperPed");
    cdsErro = dataSet("cdsErro");
    cdsProdSemDep = dataSet("cdsProdSemDep");
    cdsMsgPedExp = dataSet("cdsMsgPedExp");
    cdsOrcaPendente = dataSet("cdsOrcaPendente");
    cdsErroProd = dataSet("cdsErroProd");
    cdsErroFil = dataSet("cdsErroFil");
    cdsExibeNovoPed = dataSet("cdsExibeNovoPed");
    cdsExibePedOP = dataSet("cdsExibePedOP");
    cdsExibeMatPrima = dataSet("cdsExibeMatPrima");
    cdsParamOrcaEve = dataSet("cdsParamOrcaEve");
    cdsEndeNovoClie = dataSet("cdsEndeNovoClie");
    cdsItemOrcaEven = dataSet("cdsItemOrcaEven");
    cdsSalaoEven = dataSet("cdsSalaoEven");
    cdsParamOrca = dataSet("cdsParamOrca");
    cdsCargoOperador = dataSet("cdsCargoOperador");
    cdsOperadorSup = dataSet("cdsOperadorSup");
    cdsSupervisor = dataSet("cdsSupervisor");
    cdsOpcao = dataSet("cdsOpcao");
    cdsPropostaPgto = dataSet("cdsPropostaPgto");
    dtsOpcao = new TDataSource(this, QStringLiteral("dtsOpcao"), cdsOpcao);
    dtsSalaoEven = new TDataSource(this, QStringLiteral("dtsSalaoEven"), cdsSalaoEven);
    dtsPropostaPgto = new TDataSource(this, QStringLiteral("dtsPropostaPgto"), cdsPropostaPgto);
    cdsOpcao->OnCalcFields = [this](TClientDataSet& ds) { cdsOpcaoCalcFields(ds); };
    cdsPropostaPgto->OnCalcFields = [this](TClientDataSet& ds) { cdsPropostaPgtoCalcFields(ds); };
    cdsSalaoEven->OnCalcFields = [this](TClientDataSet& ds) { cdsSalaoEvenCalcFields(ds); };
    cdsTotalGrupo = dataSet("cdsTotalGrupo");
    cdsTotalOpcao = dataSet("cdsTotalOpcao");
    cdsTotalOrca = dataSet("cdsTotalOrca");
    cdsItMaoObra = dataSet("cdsItMaoObra");
    cdsObsExtOrcaEv = dataSet("cdsObsExtOrcaEv");
    cdsObsIntOrcaEv = dataSet("cdsObsIntOrcaEv");
    cdsPercDescVend = dataSet("cdsPercDescVend");
    cdsVerifOrcaPend = dataSet("cdsVerifOrcaPend");
    cdsInsOrca = dataSet("cdsInsOrca");
    dtsEndeNovoClie = new TDataSource(this, QStringLiteral("dtsEndeNovoClie"), cdsEndeNovoClie);
    cdsErro->FieldByName(QStringLiteral("CDERRO"))->OnGetText = [this](TField& f, QString& t, bool d) { cdsErroCDERROGetText(f, t, d); };
    cdsErroFil->FieldByName(QStringLiteral("CDERRO"))->OnGetText = [this](TField& f, QString& t, bool d) { cdsErroFilCDERROGetText(f, t, d); };
    for (TClientDataSet* quote : {cdsOrcaEvento, cdsOrcaEventoFech, cdsOrcaEventoExec})
        quote->AfterPost = [this](TClientDataSet& ds) { cdsOrcaEventoAfterPost(ds); };

    ConnectHandler(sbtConfirma, &QToolButton::clicked, this, [this] { sbtConfirmaClick(); });
    FormCreate();
}

TfrmProcOrca::~TfrmProcOrca() = default;

QString TfrmProcOrca::Msg(const char* key) const { return msgPadrao->Msg(QString::fromLatin1(key)); }

// ---- calls and questions the workflows share

QVariantList TfrmProcOrca::QuoteKey() const { return {stCdFili, stNrOrca, stNrSeq}; }

QVariant TfrmProcOrca::CallWithKey(TNetConnection* net, const char* method)
{
    return CheckResultServ(net->Call(QString::fromLatin1(method), QuoteKey()));
}

void TfrmProcOrca::LoadOperatorRecord(TClientDataSet* dataSet, const char* method, const QVariant& argument)
{
    dataSet->SetData(CheckResultServ(netAprovacao->Call(QString::fromLatin1(method), {argument})));
}

bool TfrmProcOrca::Confirmed(const char* key)
{
    return msgPadrao->ShowMsg(QString::fromLatin1(key), mtConfirmation, mbYes | mbNo, 0) == mrYes;
}

QVariant TfrmProcOrca::CallByKey(TNetConnection* net, const char* method)
{
    QVariantList key{stCdFili, stNrOrca, stNrSeq};
    const QVariant result = net->CallRef(QString::fromLatin1(method), key);
    stCdFili = key[0].toString();
    stNrOrca = key[1].toString();
    stNrSeq = key[2].toString();
    return CheckResultServ(result);
}

void TfrmProcOrca::ShowingParameterError(const TMessages* list, const std::function<void()>& step)
{
    try {
        step();
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        if (!message.contains(QLatin1String("N_PARAM_")))
            throw;
        MensErro(list->KeyedMsg(message), true);
    }
}

void TfrmProcOrca::netProcessaOrcaBeforeConnect(TNetConnection&) { PointAtServer(*netProcessaOrca); }
void TfrmProcOrca::netAprovacaoBeforeConnect(TNetConnection&) { PointAtServer(*netAprovacao); }
void TfrmProcOrca::netFechamentoBeforeConnect(TNetConnection&) { PointAtServer(*netFechamento); }
void TfrmProcOrca::netExecucaoBeforeConnect(TNetConnection&) { PointAtServer(*netExecucao); }
void TfrmProcOrca::netContratanteBeforeConnect(TNetConnection&) { PointAtServer(*netContratante); }
void TfrmProcOrca::netFechaOrcaBeforeConnect(TNetConnection&) { PointAtServer(*netFechaOrca); }

void TfrmProcOrca::FormCreate()
{
    TfrmRotiGeral::FormCreate();

    stCdFilial = stCdFili;
    stNrOrcamento = stNrOrca;
    stNrSequencia = stNrSeq;

    for (TNetConnection* net : {netProcessaOrca, netAprovacao, netFechamento, netExecucao, netFechaOrca, netContratante})
        net->SetConnected(true);

    cdsOrcaEvento->CreateDataSet();
    cdsInteclieOrev->CreateDataSet();

    edtOrcaEven->setText(stNrOrca + QLatin1Char('/') + stNrSeq);

    QVariantList args{stCdOperador};
    const QVariant payload = CheckResultServ(netProcessaOrca->CallRef(QStringLiteral("GetOperControle"), args));
    stCdOperador = args.value(0).toString();
    cdsOperControle->SetData(VarElement(payload, 0, QStringLiteral("GetOperControle")));
    cdsParamControle->SetData(VarElement(payload, 1, QStringLiteral("GetOperControle")));

    QString operatorRights, parameterRights;
    if (stTelaOrc == QLatin1String("ORE00100")) {
        operatorRights = cdsOperControle->FieldByName(QStringLiteral("CDPROCHABLANOPE"))->AsString();
        parameterRights = cdsParamControle->FieldByName(QStringLiteral("CDPROCHABLANORE"))->AsString();
    } else if (stTelaOrc == QLatin1String("ORE00400")) {
        operatorRights = cdsOperControle->FieldByName(QStringLiteral("CDPROCHABAPROPE"))->AsString();
        parameterRights = cdsParamControle->FieldByName(QStringLiteral("CDPROCHABAPRORE"))->AsString();
    } else if (stTelaOrc == QLatin1String("ORE00800")) {
        operatorRights = cdsOperControle->FieldByName(QStringLiteral("CDPROCHABFECOPE"))->AsString();
        parameterRights = cdsParamControle->FieldByName(QStringLiteral("CDPROCHABFECORE"))->AsString();
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

    switch (inStatusOrca) {
    case 1:
        edtSituacao->setText(Msg("PEND"));
        rbtAprovar->setText(Msg("Aprov"));
        rbtAprovar->setVisible(approve);
        rbtAprovFech->setText(Shown(rbtAprovar) ? Msg("Aprov_Fech") : Msg("Fech"));
        rbtAprovFech->setVisible(close);
        rbtAprovFechExec->setText(!Shown(rbtAprovFech) ? Msg("Exec") : Shown(rbtAprovar) ? Msg("Aprov_Fech_Exec") : Msg("Fech_Exec"));
        rbtAprovFechExec->setVisible(execute);
        return;
    case 2:
        edtSituacao->setText(Msg("APROVADO"));
        rbtAprovar->setVisible(false);
        rbtAprovFech->setText(Msg("Fech"));
        rbtAprovFech->setVisible(close);
        rbtAprovFechExec->setText(Shown(rbtAprovFech) ? Msg("Fech_Exec") : Msg("Exec"));
        rbtAprovFechExec->setVisible(execute);
        return;
    case 3: edtSituacao->setText(Msg("FECHADO")); break;
    case 4: edtSituacao->setText(Msg("EXEC_PROD")); break;
    case 5: edtSituacao->setText(Msg("EXEC_MATE")); break;
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

    if (inStatusOrca == 1) {
        if (rbtAprovar->isChecked())
            AprovarOrca();
        if (rbtAprovFech->isChecked()) {
            if (rbtAprovFech->text() == Msg("Aprov_Fech")) {
                AprovarOrca();
                FecharOrca();
            } else if (inStatusOrca == 2) {
                FecharOrca();
            } else {
                MensErro(Msg("Orca_N_Fech"), true);
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
                if (inStatusOrca == 2) {
                    FecharOrca();
                    ExecOrca();
                    executed = true;
                } else {
                    MensErro(Msg("Orca_N_Fech"), true);
                }
            } else if (inStatusOrca == 3) {
                ExecOrca();
                executed = true;
            } else {
                MensErro(Msg("Orca_N_Exec"), true);
            }
        }
    } else if (inStatusOrca == 2) {
        if (rbtAprovFech->isChecked()) {
            FecharOrca();
            executed = false;
        }
        if (rbtAprovFechExec->isChecked()) {
            if (rbtAprovFechExec->text() == Msg("Fech_Exec")) {
                FecharOrca();
                ExecOrca();
                executed = true;
            } else if (inStatusOrca == 3) {
                ExecOrca();
                executed = true;
            } else {
                MensErro(Msg("Orca_N_Exec"), true);
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
    for (TNetConnection* net : {netProcessaOrca, netAprovacao, netFechamento, netExecucao, netContratante, netFechaOrca})
        net->SetConnected(false);
    boIdCriado = false;
}
