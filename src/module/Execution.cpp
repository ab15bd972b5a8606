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
    cdsOrcaEventoExec = OwnDataSet(this, "cdsOrcaEventoExec");
    cdsVerifOrcaExec = OwnDataSet(this, "cdsVerifOrcaExec");
    cdsPedidoOp = OwnDataSet(this, "cdsPedidoOp");
    cdsExpItemNeg = OwnDataSet(this, "cdsExpItemNeg");
    cdsOpItemNeg = OwnDataSet(this, "cdsOpItemNeg");
    cdsMatprimaItemNeg = OwnDataSet(this, "cdsMatprimaItemNeg");
    cdsTpOperPed = OwnDataSet(this, "cdsTpOperPed");
    cdsErro = OwnDataSet(this, "cdsErro");
    cdsProdSemDep = OwnDataSet(this, "cdsProdSemDep");
    cdsMsgPedExp = OwnDataSet(this, "cdsMsgPedExp");
    cdsOrcaPendente = OwnDataSet(this, "cdsOrcaPendente");
    cdsErroProd = OwnDataSet(this, "cdsErroProd");
    cdsErroFil = OwnDataSet(this, "cdsErroFil");
    cdsExibeNovoPed = OwnDataSet(this, "cdsExibeNovoPed");
    cdsExibePedOP = OwnDataSet(this, "cdsExibePedOP");
    cdsExibeMatPrima = OwnDataSet(this, "cdsExibeMatPrima");
    cdsParamOrcaEve = OwnDataSet(this, "cdsParamOrcaEve");
}

const TMessages& TExecution::ExecMessages() const { return *m_dialog.msgPadraoExec; }
