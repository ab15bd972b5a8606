// Recording of the approval: the new client registered, the delivery address and the halls
// checked, the kept halls and options applied on the server, the payment proposal chosen,
// the commercial approval obtained, and the approval itself.
#include "Cli_ore06400.h"
#include "Cli_ore06401.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "HostServices.h"
#include "Lib00700.h"
#include "NetConnection.h"
#include "Showavi.h"
#include "TfrmProcOrca.h"
#include "Variants.h"
#include "Wire.h"

#include <QDate>

using namespace Cli_ore06400;

namespace {

QString Text(TClientDataSet* dataSet, const char* field) { return dataSet->FieldByName(QString::fromLatin1(field))->AsString(); }

} // namespace

void TfrmProcOrca::RecordApproval(WaitScope& wait)
{
    if (Text(cdsOrcaEvento, "IDSITCLIOREV") == QLatin1String("N"))
        RegisterNewClient();
    ValidaEnderecoEntrega();
    ValidaSalao();
    if (cdsOrcaEvento->State() == dsEdit || cdsOrcaEvento->State() == dsInsert)
        cdsOrcaEvento->Post();
    CallWithKey(netAprovacao, "GetContrato");

    QString proposal;
    ApplyHallChoice(proposal);
    ApplyOptionChoice(proposal);

    CheckResultServ(netAprovacao->Call(QStringLiteral("SetSalao"), QuoteKey() << Text(cdsOrcaEvento, "CDCLIENTE")));
    if (Text(cdsParamOrca, "IDUTAPROVCOMORE") == QLatin1String("S"))
        CommercialApproval(wait);

    QVariantList approval{stNrOrca, stNrSeq, stCdFili, Operador()};
    for (const char* field : {"DSENDENTOREV", "CDPAIS", "SGESTADO", "CDMUNICIPIO", "CDBAIRRO", "DSREFENDOREV", "IDENDENTOREV", "CDCLIENTE"})
        approval << Text(cdsOrcaEvento, field);
    approval << proposal << QString();
    CheckResultServ(netAprovacao->Call(QStringLiteral("SetAprova"), approval));
    inStatusOrca = 2;
    CheckResultServ(netProcessaOrca->Call(QStringLiteral("SetVdCustoFixo"),
                                          {Text(cdsOrcaEvento, "CDFILIAL"), Text(cdsOrcaEvento, "NRORCAEVENTO"), Text(cdsOrcaEvento, "NRSEQORCAEVE")}));
}

// The client registration screen, after which the server must know the client's
// registration; the quote then carries the new client's code, not yet posted. The gate reads
// the quote again, with the client as the registration screen left it on the server.
void TfrmProcOrca::RegisterNewClient()
{
    LoadBPL(QStringLiteral("ORE00105"), QVariantList{QString(), stCdFili, stNrOrca, stNrSeq, true, VarRef(dtsEndeNovoClie), VarRef(dtsInteclieOrev)});
    cdsOrcaEvento->SetData(CallWithKey(netProcessaOrca, "GetOrcaEvento"));
    cdsInsOrca->SetData(CallWithKey(netAprovacao, "GetInsOrca"));
    if (cdsInsOrca->IsEmpty())
        MensErro(Msg("INS_N_INF"), true);
    if (cdsOrcaEvento->State() == dsBrowse)
        cdsOrcaEvento->Edit();
    cdsOrcaEvento->FieldByName(QStringLiteral("CDCLIENTE"))->SetAsString(Text(cdsEndeNovoClie, "IDTPINJUORCA") + Text(cdsEndeNovoClie, "NRINSJURORCA"));
    cdsOrcaEvento->FieldByName(QStringLiteral("IDSITCLIOREV"))->SetAsString(QStringLiteral("C"));
}

// The halls the operator kept go to the server; a delivery at a hall's address is confirmed
// again when halls were dropped.
void TfrmProcOrca::ApplyHallChoice(QString& proposal)
{
    const int halls = cdsSalaoEven->RecordCount();
    if (halls <= 1)
        return;
    cdsSalaoEven->SetData(CheckResultServ(netAprovacao->Call(QStringLiteral("SetEscolhaSalao"), {cdsSalaoEven->DataVariant(), stSaloes})));
    if (cdsSalaoEven->RecordCount() != halls && Text(cdsOrcaEvento, "IDENDENTOREV") == QLatin1String("P")) {
        msgPadrao->ShowMsg(QStringLiteral("ALTERA_END_ENTREGA"), mtInformation, mbOK, 0);
        Cli_ore06401::CriaInfOrca(false);
        cdsOrcaEvento->SetData(CallWithKey(netProcessaOrca, "GetOrcaEvento"));
    }
    ChooseProposalFor(cdsSalaoEven, proposal);
}

// The options the operator kept go to the server, measured against the salesperson's ceiling;
// the payment proposal is chosen for what is left.
void TfrmProcOrca::ApplyOptionChoice(QString& proposal)
{
    if (cdsOpcao->RecordCount() > 1) {
        const QVariantList option{Text(cdsOpcao, "CDFILIAL"), Text(cdsOpcao, "NRORCAEVENTO"), Text(cdsOpcao, "NRSEQORCAEVE")};
        LoadCeilings(option);
        cdsOpcao->SetData(CheckResultServ(netAprovacao->Call(
            QStringLiteral("SetOpcao"), QVariantList(option) << stOpcoes << cdsPercDescVend->FieldByName(QStringLiteral("VRPEMAXDESVE"))->AsFloat()
                                                            << Text(cdsParamOrca, "IDTPTRATDESCORE"))));
    }
    ChooseProposalFor(cdsOpcao, proposal);
}

// Where the branch uses payment proposals: one of the quote's proposals when one hall or option
// is kept, a new one offered when more are.
void TfrmProcOrca::ChooseProposalFor(TClientDataSet* kept, QString& proposal)
{
    if (Text(cdsParamOrca, "IDUTLPROPOSTAPGTO") != QLatin1String("S"))
        return;
    if (kept->RecordCount() > 1)
        OfferNewProposal(proposal);
    else
        proposal = PropostaPagamento(stCdFili, stNrOrca, stNrSeq);
}

// More than one hall or option stays: a proposal made for all of them in the payment proposal
// screen. Without existing proposals, or when the operator declines, the choice stands.
void TfrmProcOrca::OfferNewProposal(QString& proposal)
{
    cdsPropostaPgto->SetData(CallWithKey(netAprovacao, "GetPropostasPgto"));
    if (cdsPropostaPgto->IsEmpty() || !Confirmed("GERAR_NOVA_PROPOSTA"))
        return;
    LoadBPL(QStringLiteral("ORE00406"), QVariantList{stCdFili, stNrOrca, stNrSeq, Text(cdsOrcaEvento, "DTEVENTO")});
    const QVariant newest = netAprovacao->Call(QStringLiteral("NrPropostaPgto"), QuoteKey());
    // A refused call would otherwise approve the quote without the proposal just made.
    if (VarIsFail(newest))
        CheckResultServ(newest);
    proposal = VarToStr(newest);
}

// A plain salesperson needs the supervisor's password, once per launch; anyone else approves
// commercially on their own. The approval's animation is gone before anything is asked.
void TfrmProcOrca::CommercialApproval(WaitScope& wait)
{
    if (!boAprovSuperior) {
        if (!cdsOperadorSup->Active() || Text(cdsOperadorSup, "CDVENDEDOR").isEmpty())
            LoadOperatorRecord(cdsOperadorSup, "GetOperadorAprov", Operador());
        if (!m_jobRecordLoaded)
            LoadOperatorRecord(cdsCargoOperador, "GetVerifCargoOper", Operador());
        if (Text(cdsCargoOperador, "IDCARGOVEND") != QLatin1String("V"))
            boAprovSuperior = true;
        wait.Hide();
        if (!boAprovSuperior) {
            msgPadrao->ShowMsg(QStringLiteral("APROV_COMERC_REALI"), mtInformation, mbOK, 0);
            LoadOperatorRecord(cdsSupervisor, "GetSupervisor", Text(cdsOrcaEvento, "CDVENDEDOR"));
            boAprovSuperior = CriaConfSenha(Text(cdsSupervisor, "CDOPERADOR"), Msg("SENHA_APROV"), Msg("OPER"));
        }
    }
    if (!boAprovSuperior) {
        MensErro(Msg("APROV_COMERC_N_REALI"), false);
        Abort();
    }
    CheckResultServ(netAprovacao->Call(QStringLiteral("SetAprovComercial"), {Text(cdsOrcaEvento, "CDFILIAL"), Text(cdsOrcaEvento, "NRORCAEVENTO"),
                                                                             Text(cdsOrcaEvento, "NRSEQORCAEVE"), QDate::currentDate(),
                                                                             Text(cdsOperadorSup, "CDVENDEDOR")}));
}
