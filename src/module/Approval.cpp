#include "Approval.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "DataSetLayout.h"
#include "Dialogs.h"
#include "NetConnection.h"
#include "WireContract.h"

using namespace Cli_ore06400;

TApproval::TApproval(TfrmProcOrca& dialog, TQuoteContext& quote) : TWorkflow(dialog, quote, QStringLiteral("approval"))
{
    netAprovacao = NewServerConnection(this, "netAprovacao", ServerObject::AprovaOrca);
    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/Approval.datasets.json"));
    auto dataSet = [this](const char* name) { return findChild<TClientDataSet*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly); };
    cdsItemOrcaEven = dataSet("cdsItemOrcaEven");
    cdsSalaoEven = dataSet("cdsSalaoEven");
    cdsParamOrca = dataSet("cdsParamOrca");
    cdsCargoOperador = dataSet("cdsCargoOperador");
    cdsOperadorSup = dataSet("cdsOperadorSup");
    cdsSupervisor = dataSet("cdsSupervisor");
    cdsOpcao = dataSet("cdsOpcao");
    cdsPropostaPgto = dataSet("cdsPropostaPgto");
    dtsOpcao = new TDataSource(this, QStringLiteral("dtsOpcao"), cdsOpcao);
    dtsSalaoEven = new TDataSource(this, QStringLiteral("dtsSalaoEven"), cdsSalaoEven);
    dtsPropostaPgto = new TDataSource(this, QStringLiteral("dtsPropostaPgto"), cdsPropostaPgto);
    cdsTotalGrupo = dataSet("cdsTotalGrupo");
    cdsTotalOpcao = dataSet("cdsTotalOpcao");
    cdsTotalOrca = dataSet("cdsTotalOrca");
    cdsItMaoObra = dataSet("cdsItMaoObra");
    cdsObsExtOrcaEv = dataSet("cdsObsExtOrcaEv");
    cdsObsIntOrcaEv = dataSet("cdsObsIntOrcaEv");
    cdsPercDescVend = dataSet("cdsPercDescVend");
    cdsVerifOrcaPend = dataSet("cdsVerifOrcaPend");
    cdsInsOrca = dataSet("cdsInsOrca");
}

QVariantList TApproval::QuoteKey() { return {stCdFili, stNrOrca, stNrSeq}; }

QVariant TApproval::CallWithQuoteKey(TNetConnection* net, const char* method)
{
    return CheckResultServ(net->Call(QString::fromLatin1(method), QuoteKey()));
}

void TApproval::LoadOperatorRecord(TClientDataSet* dataSet, const char* method, const QVariant& argument)
{
    dataSet->SetData(CheckResultServ(netAprovacao->Call(QString::fromLatin1(method), {argument})));
}

bool TApproval::Confirmed(const char* key) { return Messages().ShowMsg(QString::fromLatin1(key), mtConfirmation, mbYes | mbNo, 0) == mrYes; }
