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
#include "WireContract.h"

#include <QDate>

using namespace Cli_ore06400;

using namespace Qt::StringLiterals;

void TApproval::RecordApproval(WaitScope& wait)
{
    if (Quote().Text(u"IDSITCLIOREV"_s) == QLatin1String("N"))
        RegisterNewClient();
    ValidaEnderecoEntrega();
    ValidaSalao();
    if (Quote().State() == dsEdit || Quote().State() == dsInsert)
        Quote().Post();
    CallWithQuoteKey(netAprovacao, "GetContrato");

    QString proposal;
    ApplyHallChoice(proposal);
    ApplyOptionChoice(proposal);

    CheckResultServ(netAprovacao->Call(QStringLiteral("SetSalao"), QuoteKey() << Quote().Text(u"CDCLIENTE"_s)));
    if (cdsParamOrca->Text(u"IDUTAPROVCOMORE"_s) == QLatin1String("S"))
        CommercialApproval(wait);

    QVariantList approval(SetAprovaArg::Count);
    approval[SetAprovaArg::Number] = stNrOrca;
    approval[SetAprovaArg::Sequence] = stNrSeq;
    approval[SetAprovaArg::Branch] = stCdFili;
    approval[SetAprovaArg::Operator] = Operador();
    approval[SetAprovaArg::Address] = Quote().Text(u"DSENDENTOREV"_s);
    approval[SetAprovaArg::Country] = Quote().Text(u"CDPAIS"_s);
    approval[SetAprovaArg::State] = Quote().Text(u"SGESTADO"_s);
    approval[SetAprovaArg::City] = Quote().Text(u"CDMUNICIPIO"_s);
    approval[SetAprovaArg::District] = Quote().Text(u"CDBAIRRO"_s);
    approval[SetAprovaArg::Reference] = Quote().Text(u"DSREFENDOREV"_s);
    approval[SetAprovaArg::AddressKind] = Quote().Text(u"IDENDENTOREV"_s);
    approval[SetAprovaArg::Client] = Quote().Text(u"CDCLIENTE"_s);
    approval[SetAprovaArg::Proposal] = proposal;
    approval[SetAprovaArg::Reserved] = QString();
    CheckResultServ(netAprovacao->Call(u"SetAprova"_s, approval));
    inStatusOrca = Code(TQuoteSituation::Approved);
    CheckResultServ(m_quote.netProcessaOrca->Call(u"SetVdCustoFixo"_s,
                                                  {Quote().Text(u"CDFILIAL"_s), Quote().Text(u"NRORCAEVENTO"_s), Quote().Text(u"NRSEQORCAEVE"_s)}));
}

// The client registration screen, after which the server must know the client's
// registration; the quote then carries the new client's code, not yet posted. The gate reads
// the quote again, with the client as the registration screen left it on the server.
void TApproval::RegisterNewClient()
{
    LoadBPL(QStringLiteral("ORE00105"), QVariantList{QString(), stCdFili, stNrOrca, stNrSeq, true, VarRef(m_quote.dtsEndeNovoClie), VarRef(m_quote.dtsInteclieOrev)});
    Quote().SetData(CallWithQuoteKey(m_quote.netProcessaOrca, "GetOrcaEvento"));
    cdsInsOrca->SetData(CallWithQuoteKey(netAprovacao, "GetInsOrca"));
    if (cdsInsOrca->IsEmpty())
        StopWithError(Msg("INS_N_INF"));
    if (Quote().State() == dsBrowse)
        Quote().Edit();
    const TClientDataSet& newClient = *m_quote.cdsEndeNovoClie;
    Quote().FieldByName(u"CDCLIENTE"_s)->SetAsString(newClient.Text(u"IDTPINJUORCA"_s) + newClient.Text(u"NRINSJURORCA"_s));
    Quote().FieldByName(QStringLiteral("IDSITCLIOREV"))->SetAsString(QStringLiteral("C"));
}

// The halls the operator kept go to the server; a delivery at a hall's address is confirmed
// again when halls were dropped.
void TApproval::ApplyHallChoice(QString& proposal)
{
    const int halls = cdsSalaoEven->RecordCount();
    if (halls <= 1)
        return;
    cdsSalaoEven->SetData(CheckResultServ(netAprovacao->Call(QStringLiteral("SetEscolhaSalao"), {cdsSalaoEven->DataVariant(), stSaloes})));
    if (cdsSalaoEven->RecordCount() != halls && Quote().Text(u"IDENDENTOREV"_s) == QLatin1String("P")) {
        Messages().ShowMsg(QStringLiteral("ALTERA_END_ENTREGA"), mtInformation, mbOK, 0);
        Cli_ore06401::CriaInfOrca(false);
        Quote().SetData(CallWithQuoteKey(m_quote.netProcessaOrca, "GetOrcaEvento"));
    }
    ChooseProposalFor(cdsSalaoEven, proposal);
}

// The options the operator kept go to the server, measured against the salesperson's ceiling;
// the payment proposal is chosen for what is left.
void TApproval::ApplyOptionChoice(QString& proposal)
{
    if (cdsOpcao->RecordCount() > 1) {
        const QVariantList option{cdsOpcao->Text(u"CDFILIAL"_s), cdsOpcao->Text(u"NRORCAEVENTO"_s), cdsOpcao->Text(u"NRSEQORCAEVE"_s)};
        LoadCeilings(option);
        cdsOpcao->SetData(CheckResultServ(netAprovacao->Call(
            QStringLiteral("SetOpcao"), QVariantList(option) << stOpcoes << cdsPercDescVend->FieldByName(u"VRPEMAXDESVE"_s)->AsFloat()
                                                            << cdsParamOrca->Text(u"IDTPTRATDESCORE"_s))));
    }
    ChooseProposalFor(cdsOpcao, proposal);
}

// Where the branch uses payment proposals: one of the quote's proposals when one hall or option
// is kept, a new one offered when more are.
void TApproval::ChooseProposalFor(TClientDataSet* kept, QString& proposal)
{
    if (cdsParamOrca->Text(u"IDUTLPROPOSTAPGTO"_s) != QLatin1String("S"))
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
    cdsPropostaPgto->SetData(CallWithQuoteKey(netAprovacao, "GetPropostasPgto"));
    if (cdsPropostaPgto->IsEmpty() || !Confirmed("GERAR_NOVA_PROPOSTA"))
        return;
    LoadBPL(QStringLiteral("ORE00406"), QVariantList{stCdFili, stNrOrca, stNrSeq, Quote().Text(u"DTEVENTO"_s)});
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
        if (!cdsOperadorSup->Active() || cdsOperadorSup->Text(u"CDVENDEDOR"_s).isEmpty())
            LoadOperatorRecord(cdsOperadorSup, "GetOperadorAprov", Operador());
        if (!m_jobRecordLoaded)
            LoadOperatorRecord(cdsCargoOperador, "GetVerifCargoOper", Operador());
        if (cdsCargoOperador->Text(u"IDCARGOVEND"_s) != QLatin1String("V"))
            boAprovSuperior = true;
        wait.Hide();
        if (!boAprovSuperior) {
            Messages().ShowMsg(QStringLiteral("APROV_COMERC_REALI"), mtInformation, mbOK, 0);
            LoadOperatorRecord(cdsSupervisor, "GetSupervisor", Quote().Text(u"CDVENDEDOR"_s));
            boAprovSuperior = CriaConfSenha(cdsSupervisor->Text(u"CDOPERADOR"_s), Msg("SENHA_APROV"), Msg("OPER"));
        }
    }
    if (!boAprovSuperior) {
        StopWithError(Msg("APROV_COMERC_N_REALI"));
    }
    CheckResultServ(netAprovacao->Call(u"SetAprovComercial"_s, {Quote().Text(u"CDFILIAL"_s), Quote().Text(u"NRORCAEVENTO"_s), Quote().Text(u"NRSEQORCAEVE"_s),
                                                                QDate::currentDate(), cdsOperadorSup->Text(u"CDVENDEDOR"_s)}));
}
