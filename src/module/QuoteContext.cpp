#include "QuoteContext.h"

#include "ClientDataSet.h"
#include "DataSetLayout.h"
#include "WireContract.h"
#include "Workflow.h"

TQuoteContext::TQuoteContext(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("quote"));
    netProcessaOrca = NewServerConnection(this, "netProcessaOrca", ServerObject::ProcOrca);
    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/QuoteContext.datasets.json"));
    cdsOrcaEvento = OwnDataSet(this, "cdsOrcaEvento");
    cdsEndeNovoClie = OwnDataSet(this, "cdsEndeNovoClie");
    dtsEndeNovoClie = new TDataSource(this, QStringLiteral("dtsEndeNovoClie"), cdsEndeNovoClie);
    cdsInteclieOrev = OwnDataSet(this, "cdsInteclieOrev");
    dtsInteclieOrev = new TDataSource(this, QStringLiteral("dtsInteclieOrev"), cdsInteclieOrev);
    cdsOperCadProd = OwnDataSet(this, "cdsOperCadProd");
}
