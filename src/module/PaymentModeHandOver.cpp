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
using namespace Qt::StringLiterals;

void TApproval::HandOverPaymentMode()
{
    if (inStatusOrca != TQuoteSituation::Pending || Quote().ChangeCount() <= 0)
        return;
    const WaitScope wait(MainForm(), TWaitKind::Reading);
    const TClientDataSet& quote = Quote();
    CheckResultServ(netAprovacao->Call(u"SetModPgto"_s, {quote.Text(u"CDMODPGTO"_s), quote.Text(u"CDFILIAL"_s), quote.Text(u"NRORCAEVENTO"_s),
                                                         quote.Text(u"CDCLICONTORC"_s), quote.Text(u"CDCLIENTE"_s), quote.Text(u"IDSITCLIOREV"_s)}));
    Quote().MergeChangeLog();
}
