// The approval's payment proposal choice, and the display columns of the approval's lists.
#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Dialogs.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "TfrmProcOrca.h"

#include <cmath>

using namespace Cli_ore06400;

namespace {

// One proposal number (at most 10 characters) gives at most 12 in the list's result.
constexpr qsizetype kOneProposal = 12;

// The date value 0, which a list shows for a missing date.
const QDate kDateZero(1899, 12, 30);

void Copy(TClientDataSet& ds, const char* target, const char* source)
{
    ds.FieldByName(QString::fromLatin1(target))->SetAsFloat(ds.FieldByName(QString::fromLatin1(source))->AsFloat());
}

void CopyDate(TClientDataSet& ds, const char* target, const char* source)
{
    const QDateTime value = ds.FieldByName(QString::fromLatin1(source))->AsDateTime();
    ds.FieldByName(QString::fromLatin1(target))->SetAsDateTime(QDateTime(value.isValid() ? value.date() : kDateZero, QTime()));
}

} // namespace

QString TApproval::PropostaPagamento(const QString& branch, const QString& quoteNumber, const QString& sequence)
{
    cdsPropostaPgto->SetData(CheckResultServ(netAprovacao->Call(QStringLiteral("GetPropostasPgto"), {branch, quoteNumber, sequence}), true, 0));
    QString selection;
    if (cdsPropostaPgto->IsEmpty())
        return selection;
    if (MessageDlg(Msg("EXISTE_PROPOSTA"), mtConfirmation, mbYes | mbNo, 0) != mrYes)
        return selection;
    // The list again, as long as more than one proposal is ticked and the operator wants to choose.
    for (;;) {
        PesquisaLista(dtsPropostaPgto, QStringLiteral("NRPROPOSTAPGTO"), Msg("Proposta"), false, selection);
        if (selection.size() <= kOneProposal)
            return selection;
        if (MessageDlg(Msg("UNICA_PROPOSTA"), mtInformation, mbYes | mbNo, 0) != mrYes)
            return QString();   // given up
    }
}

void TfrmProcOrca::cdsOpcaoCalcFields(TClientDataSet& ds) { Copy(ds, "ValorCalc", "VRTOTALOPCAO"); }

void TfrmProcOrca::cdsPropostaPgtoCalcFields(TClientDataSet& ds)
{
    Copy(ds, "CALCVRPERCJUROSORCA", "VRPERCJUROSORCA");
    ds.FieldByName(QStringLiteral("CALCQTPARCELASORCA"))->SetAsInteger(int(std::lround(ds.FieldByName(QStringLiteral("QTPARCELASORCA"))->AsFloat())));
    Copy(ds, "CALCVRPARCELAORCA", "VRPARCELAORCA");
    Copy(ds, "CALCVRPARCELAENTR", "VRPARCELAENTR");
    CopyDate(ds, "CALCDTPRIMVENCPARC", "DTPRIMVENCPARC");
}

void TfrmProcOrca::cdsSalaoEvenCalcFields(TClientDataSet& ds)
{
    Copy(ds, "VrCobrSalao", "VRCOBAGENSALAO");
    CopyDate(ds, "DtValidadeReserva", "DTAGENDSALAO");
}
