// The hand-over of a pending quote's payment mode and clients after a post.
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "Showavi.h"
#include "TfrmProcOrca.h"

using namespace Cli_ore06400;

void TfrmProcOrca::cdsOrcaEventoAfterPost(TClientDataSet&)
{
    if (inStatusOrca != 1 || cdsOrcaEvento->ChangeCount() <= 0)
        return;
    const WaitScope wait(MainForm(), 6);
    auto f = [this](const char* name) { return cdsOrcaEvento->FieldByName(QString::fromLatin1(name))->AsString(); };
    CheckResultServ(netAprovacao->Call(QStringLiteral("SetModPgto"),
                                       {f("CDMODPGTO"), f("CDFILIAL"), f("NRORCAEVENTO"), f("CDCLICONTORC"), f("CDCLIENTE"), f("IDSITCLIOREV")}));
    cdsOrcaEvento->MergeChangeLog();
}
