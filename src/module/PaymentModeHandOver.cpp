// The hand-over of a pending quote's payment mode and clients after a post.
#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "Showavi.h"

using namespace Cli_ore06400;

void TApproval::HandOverPaymentMode()
{
    if (inStatusOrca != 1 || m_quote.cdsOrcaEvento->ChangeCount() <= 0)
        return;
    const WaitScope wait(MainForm(), 6);
    auto f = [this](const char* name) { return m_quote.cdsOrcaEvento->FieldByName(QString::fromLatin1(name))->AsString(); };
    CheckResultServ(netAprovacao->Call(QStringLiteral("SetModPgto"),
                                       {f("CDMODPGTO"), f("CDFILIAL"), f("NRORCAEVENTO"), f("CDCLICONTORC"), f("CDCLIENTE"), f("IDSITCLIOREV")}));
    m_quote.cdsOrcaEvento->MergeChangeLog();
}
