#include "Closing.h"

#include "ClientDataSet.h"
#include "DataSetLayout.h"
#include "WireContract.h"

TClosing::TClosing(TfrmProcOrca& dialog, TQuoteContext& quote) : TWorkflow(dialog, quote, QStringLiteral("closing"))
{
    netFechamento = NewServerConnection(this, "netFechamento", ServerObject::FechaOrca);
    netContratante = NewServerConnection(this, "netContratante", ServerObject::Contratante);
    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/Closing.datasets.json"));
    cdsOrcaEventoFech = OwnDataSet(this, "cdsOrcaEventoFech");
    cdsExisteContratante = OwnDataSet(this, "cdsExisteContratante");
    cdsEndeCont = OwnDataSet(this, "cdsEndeCont");
}
