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
    cdsItemOrcaEven = OwnDataSet(this, "cdsItemOrcaEven");
    cdsSalaoEven = OwnDataSet(this, "cdsSalaoEven");
    cdsParamOrca = OwnDataSet(this, "cdsParamOrca");
    cdsCargoOperador = OwnDataSet(this, "cdsCargoOperador");
    cdsOperadorSup = OwnDataSet(this, "cdsOperadorSup");
    cdsSupervisor = OwnDataSet(this, "cdsSupervisor");
    cdsOpcao = OwnDataSet(this, "cdsOpcao");
    cdsPropostaPgto = OwnDataSet(this, "cdsPropostaPgto");
    dtsOpcao = new TDataSource(this, QStringLiteral("dtsOpcao"), cdsOpcao);
    dtsSalaoEven = new TDataSource(this, QStringLiteral("dtsSalaoEven"), cdsSalaoEven);
    dtsPropostaPgto = new TDataSource(this, QStringLiteral("dtsPropostaPgto"), cdsPropostaPgto);
    cdsTotalGrupo = OwnDataSet(this, "cdsTotalGrupo");
    cdsTotalOpcao = OwnDataSet(this, "cdsTotalOpcao");
    cdsTotalOrca = OwnDataSet(this, "cdsTotalOrca");
    cdsItMaoObra = OwnDataSet(this, "cdsItMaoObra");
    cdsObsExtOrcaEv = OwnDataSet(this, "cdsObsExtOrcaEv");
    cdsObsIntOrcaEv = OwnDataSet(this, "cdsObsIntOrcaEv");
    cdsPercDescVend = OwnDataSet(this, "cdsPercDescVend");
    cdsVerifOrcaPend = OwnDataSet(this, "cdsVerifOrcaPend");
    cdsInsOrca = OwnDataSet(this, "cdsInsOrca");
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
