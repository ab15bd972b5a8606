#include "Closing.h"

#include "ClientDataSet.h"
#include "DataSetLayout.h"
#include "WireContract.h"

TClosing::TClosing(TfrmProcOrca& dialog, TQuoteContext& quote) : TWorkflow(dialog, quote, QStringLiteral("closing"))
{
    netFechamento = NewServerConnection(this, "netFechamento", ServerObject::FechaOrca);
    netContratante = NewServerConnection(this, "netContratante", ServerObject::Contratante);
    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/Closing.datasets.json"));
    auto dataSet = [this](const char* name) { return findChild<TClientDataSet*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly); };
    cdsOrcaEventoFech = dataSet("cdsOrcaEventoFech");
    cdsExisteContratante = dataSet("cdsExisteContratante");
    cdsEndeCont = dataSet("cdsEndeCont");
}
