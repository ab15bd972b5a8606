// Recording of the approval: the new client registered, the delivery address and the halls
// checked, the kept halls and options applied on the server, the payment proposal chosen,
// the commercial approval obtained, and the approval itself.
#include "Approval.h"
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
#include "QuoteContext.h"
#include "Showavi.h"
#include "Variants.h"
#include "Wire.h"

#include <QDate>

using namespace Cli_ore06400;

namespace {

QString Text(TClientDataSet* dataSet, const char* field) { return dataSet->FieldByName(QString::fromLatin1(field))->AsString(); }

} // namespace

void TApproval::RecordApproval(WaitScope& wait)
{
    if (Text(m_quote.cdsOrcaEvento, "IDSITCLIOREV") == QLatin1String("N"))
        RegisterNewClient();
    ValidaEnderecoEntrega();
    ValidaSalao();
    if (m_quote.cdsOrcaEvento->State() == dsEdit || m_quote.cdsOrcaEvento->State() == dsInsert)
        m_quote.cdsOrcaEvento->Post();
    CallWithKey(netAprovacao, "GetContrato");

    QString proposal;
    ApplyHallChoice(proposal);
    ApplyOptionChoice(proposal);

    CheckResultServ(netAprovacao->Call(QStringLiteral("SetSalao"), QuoteKey() << Text(m_quote.cdsOrcaEvento, "CDCLIENTE")));
    if (Text(cdsParamOrca, "IDUTAPROVCOMORE") == QLatin1String("S"))
        CommercialApproval(wait);

    QVariantList approval{stNrOrca, stNrSeq, stCdFili, Operador()};
    for (const char* field : {"DSENDENTOREV", "CDPAIS", "SGESTADO", "CDMUNICIPIO", "CDBAIRRO", "DSREFENDOREV", "IDENDENTOREV", "CDCLIENTE"})
        approval << Text(m_quote.cdsOrcaEvento, field);
    approval << proposal << QString();
    CheckResultServ(netAprovacao->Call(QStringLiteral("SetAprova"), approval));
    inStatusOrca = 2;
    CheckResultServ(m_quote.netProcessaOrca->Call(QStringLiteral("SetVdCustoFixo"),
                                          {Text(m_quote.cdsOrcaEvento, "CDFILIAL"), Text(m_quote.cdsOrcaEvento, "NRORCAEVENTO"), Text(m_quote.cdsOrcaEvento, "NRSEQORCAEVE")}));
}

// The client registration screen, after which the server must know the client's
// registration; the quote then carries the new client's code, not yet posted. The gate reads
// the quote again, with the client as the registration screen left it on the server.
void TApproval::RegisterNewClient()
{
    LoadBPL(QStringLiteral("ORE00105"), QVariantList{QString(), stCdFili, stNrOrca, stNrSeq, true, VarRef(m_quote.dtsEndeNovoClie), VarRef(m_quote.dtsInteclieOrev)});
    m_quote.cdsOrcaEvento->SetData(CallWithKey(m_quote.netProcessaOrca, "GetOrcaEvento"));
    cdsInsOrca->SetData(CallWithKey(netAprovacao, "GetInsOrca"));
    if (cdsInsOrca->IsEmpty())
        MensErro(Msg("INS_N_INF"), true);
    if (m_quote.cdsOrcaEvento->State() == dsBrowse)
        m_quote.cdsOrcaEvento->Edit();
    m_quote.cdsOrcaEvento->FieldByName(QStringLiteral("CDCLIENTE"))->SetAsString(Text(m_quote.cdsEndeNovoClie, "IDTPINJUORCA") + Text(m_quote.cdsEndeNovoClie, "NRINSJURORCA"));
    m_quote.cdsOrcaEvento->FieldByName(QStringLiteral("IDSITCLIOREV"))->SetAsString(QStringLiteral("C"));
}

// The halls the operator kept go to the server; a delivery at a hall's address is confirmed
// again when halls were dropped.
void TApproval::ApplyHallChoice(QString& proposal)
{
    const int halls = cdsSalaoEven->RecordCount();
    if (halls <= 1)
        return;
    cdsSalaoEven->SetData(CheckResultServ(netAprovacao->Call(QStringLiteral("SetEscolhaSalao"), {cdsSalaoEven->DataVariant(), stSaloes})));
    if (cdsSalaoEven->RecordCount() != halls && Text(m_quote.cdsOrcaEvento, "IDENDENTOREV") == QLatin1String("P")) {
        Messages().ShowMsg(QStringLiteral("ALTERA_END_ENTREGA"), mtInformation, mbOK, 0);
        Cli_ore06401::CriaInfOrca(false);
        m_quote.cdsOrcaEvento->SetData(CallWithKey(m_quote.netProcessaOrca, "GetOrcaEvento"));
    }
    ChooseProposalFor(cdsSalaoEven, proposal);
}

// The options the operator kept go to the server, measured against the salesperson's ceiling;
// the payment proposal is chosen for what is left.
void TApproval::ApplyOptionChoice(QString& proposal)
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
void TApproval::ChooseProposalFor(TClientDataSet* kept, QString& proposal)
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
void TApproval::OfferNewProposal(QString& proposal)
{
    cdsPropostaPgto->SetData(CallWithKey(netAprovacao, "GetPropostasPgto"));
    if (cdsPropostaPgto->IsEmpty() || !Confirmed("GERAR_NOVA_PROPOSTA"))
        return;
    LoadBPL(QStringLiteral("ORE00406"), QVariantList{stCdFili, stNrOrca, stNrSeq, Text(m_quote.cdsOrcaEvento, "DTEVENTO")});
    const QVariant newest = netAprovacao->Call(QStringLiteral("NrPropostaPgto"), QuoteKey());
    // A refused call would otherwise approve the quote without the proposal just made.
    if (VarIsFail(newest))
        CheckResultServ(newest);
    proposal = VarToStr(newest);
}

// A plain salesperson needs the supervisor's password, once per launch; anyone else approves
// commercially on their own. The approval's animation is gone before anything is asked.
void TApproval::CommercialApproval(WaitScope& wait)
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
            Messages().ShowMsg(QStringLiteral("APROV_COMERC_REALI"), mtInformation, mbOK, 0);
            LoadOperatorRecord(cdsSupervisor, "GetSupervisor", Text(m_quote.cdsOrcaEvento, "CDVENDEDOR"));
            boAprovSuperior = CriaConfSenha(Text(cdsSupervisor, "CDOPERADOR"), Msg("SENHA_APROV"), Msg("OPER"));
        }
    }
    if (!boAprovSuperior) {
        MensErro(Msg("APROV_COMERC_N_REALI"), false);
        Abort();
    }
    CheckResultServ(netAprovacao->Call(QStringLiteral("SetAprovComercial"), {Text(m_quote.cdsOrcaEvento, "CDFILIAL"), Text(m_quote.cdsOrcaEvento, "NRORCAEVENTO"),
                                                                             Text(m_quote.cdsOrcaEvento, "NRSEQORCAEVE"), QDate::currentDate(),
                                                                             Text(cdsOperadorSup, "CDVENDEDOR")}));
}
