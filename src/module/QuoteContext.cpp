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
    auto dataSet = [this](const char* name) { return findChild<TClientDataSet*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly); };
    cdsOrcaEvento = dataSet("cdsOrcaEvento");
    cdsEndeNovoClie = dataSet("cdsEndeNovoClie");
    dtsEndeNovoClie = new TDataSource(this, QStringLiteral("dtsEndeNovoClie"), cdsEndeNovoClie);
    cdsInteclieOrev = dataSet("cdsInteclieOrev");
    dtsInteclieOrev = new TDataSource(this, QStringLiteral("dtsInteclieOrev"), cdsInteclieOrev);
    cdsOperCadProd = dataSet("cdsOperCadProd");
}
