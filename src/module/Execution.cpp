#include "Execution.h"

#include "ClientDataSet.h"
#include "DataSetLayout.h"
#include "TfrmProcOrca.h"
#include "WireContract.h"

TExecution::TExecution(TfrmProcOrca& dialog, TQuoteContext& quote) : TWorkflow(dialog, quote, QStringLiteral("execution"))
{
    netExecucao = NewServerConnection(this, "netExecucao", ServerObject::ExecProc);
    netFechaOrca = NewServerConnection(this, "netFechaOrca", ServerObject::ExecProc);
    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/Execution.datasets.json"));
    auto dataSet = [this](const char* name) { return findChild<TClientDataSet*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly); };
    cdsOrcaEventoExec = dataSet("cdsOrcaEventoExec");
    cdsVerifOrcaExec = dataSet("cdsVerifOrcaExec");
    cdsPedidoOp = dataSet("cdsPedidoOp");
    cdsExpItemNeg = dataSet("cdsExpItemNeg");
    cdsOpItemNeg = dataSet("cdsOpItemNeg");
    cdsMatprimaItemNeg = dataSet("cdsMatprimaItemNeg");
    cdsTpOperPed = dataSet("cdsTpOperPed");
    cdsErro = dataSet("cdsErro");
    cdsProdSemDep = dataSet("cdsProdSemDep");
    cdsMsgPedExp = dataSet("cdsMsgPedExp");
    cdsOrcaPendente = dataSet("cdsOrcaPendente");
    cdsErroProd = dataSet("cdsErroProd");
    cdsErroFil = dataSet("cdsErroFil");
    cdsExibeNovoPed = dataSet("cdsExibeNovoPed");
    cdsExibePedOP = dataSet("cdsExibePedOP");
    cdsExibeMatPrima = dataSet("cdsExibeMatPrima");
    cdsParamOrcaEve = dataSet("cdsParamOrcaEve");
}

const TMessages& TExecution::ExecMessages() const { return *m_dialog.msgPadraoExec; }
