// The stand-in screens, driven by the scripted operator against a real server, and what the
// server holds afterwards.
#include "ServerFixture.h"
#include "TestSupport.h"

#include "ClientDataSet.h"
#include "ScreenLoader.h"
#include "ScriptedServices.h"
#include "Variants.h"

namespace {

class Screens : public ScriptedServerFixture {
protected:
    void Script(const char* json) { host->SetSteps(ScriptedHostServices::ParseScript(json).value("steps").toArray()); }
    QJsonObject Shown() const { return host->Lines("form").value(0); }
    // A widget of a form line (the first, when not given).
    QJsonObject Widget(const char* name, const QJsonObject& line = {}) const
    {
        return (line.isEmpty() ? Shown() : line).value("widgets").toObject().value(QString::fromLatin1(name)).toObject();
    }
};
INSTANTIATE_TEST_SUITE_P(Sqlite, Screens, ::testing::Values("sqlite"));

TEST_P(Screens, PreCheckShowsTheQuoteAndMayStopTheApproval)
{
    bool stop = false;
    Script(R"({"steps":[{"form":"TfrmORE00402","actions":[{"click":"btnInterromper"}]},
                        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]}]})");
    LoadBPL("ORE00402", VarArrayOf({"0001", "0000000101", "01", VarRef(&stop)}));
    EXPECT_TRUE(stop);
    EXPECT_EQ(Widget("edtTotal").value("text").toString(), "4.360,00");
    EXPECT_EQ(Widget("edtCliente").value("text").toString(), "J11222333000181");
    stop = false;
    LoadBPL("ORE00402", VarArrayOf({"0001", "0000000101", "01", VarRef(&stop)}));
    EXPECT_FALSE(stop);
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_P(Screens, ClientRegistrationRegistersAndLinksTheQuote)
{
    TClientDataSet cdsEndeNovoClie(nullptr, "cdsEndeNovoClie");
    cdsEndeNovoClie.SetData(VarElement(Call("ORE00400.rdmAprovaOrca", "GetGeral", {"0001", "0000000104", "01"}), 7, "GetGeral"));
    TDataSource dtsEndeNovoClie(nullptr, "dtsEndeNovoClie", &cdsEndeNovoClie);
    TDataSource dtsInteclieOrev(nullptr, "dtsInteclieOrev");
    Script(R"({"steps":[{"form":"TfrmORE00105","actions":[{"text":["dbeNMFANTCLIE","Gama Festas"]},{"click":"btnCadastrar"}]}]})");
    LoadBPL("ORE00105", VarArrayOf({"", "0001", "0000000104", "01", true, VarRef(&dtsEndeNovoClie), VarRef(&dtsInteclieOrev)}));

    EXPECT_EQ(host->Lines("message").value(0).value("text").toString(), "Cliente J99888777000166 cadastrado.");
    EXPECT_EQ(cdsEndeNovoClie.FieldByName("NMFANTCLIE")->AsString(), "Gama Festas");   // written back
    EXPECT_EQ(Column(Call("ORE00400.rdmAprovaOrca", "GetInsOrca", {"0001", "0000000104", "01"}), "CDCLIENTE"), QStringList{"J99888777000166"});
    EXPECT_EQ(Sql("SELECT CDCLIENTE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000104'").toString(), "J99888777000166");
    EXPECT_EQ(Sql("SELECT IDSITCLIOREV FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000104'").toString(), "C") << "the client is registered now";
    EXPECT_EQ(Sql("SELECT NMFANTCLIE FROM CLIENTE WHERE CDCLIENTE = 'J99888777000166'").toString(), "Gama Festas");

    // From the information dialog: no quote key, the data sources alone.
    TClientDataSet other(nullptr, "cdsEndeNovoClie");
    other.SetData(VarElement(Call("ORE00400.rdmAprovaOrca", "GetGeral", {"0001", "0000000101", "01"}), 7, "GetGeral"));
    TDataSource source(nullptr, "dtsEndeNovoClie", &other);
    Script(R"({"steps":[{"form":"TfrmORE00105","actions":[{"text":["dbeNRINSJURORCA","12312312312"]},{"text":["dbeIDTPINJUORCA","F"]},
        {"text":["dbeNMFANTCLIE","João"]},{"click":"btnCadastrar"}]}]})");
    LoadBPL("ORE00105", VarArrayOf({"", "", "", "", true, VarRef(&source), VarRef(&dtsInteclieOrev)}));
    EXPECT_EQ(Sql("SELECT NMFANTCLIE FROM CLIENTE WHERE CDCLIENTE = 'F12312312312'").toString(), "João");
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_P(Screens, PaymentProposalBecomesTheNewest)
{
    Script(R"({"steps":[{"form":"TfrmORE00406","actions":[{"text":["edtParcelas","4"]},{"text":["edtValorParcela","350,50"]},{"click":"btnGravar"}]}]})");
    LoadBPL("ORE00406", VarArrayOf({"0001", "0000000110", "01", "20/05/2027"}));
    EXPECT_EQ(Widget("edtPrimVenc").value("text").toString(), "20/05/2027");
    EXPECT_EQ(host->Lines("message").value(0).value("text").toString(), "Proposta 0000000003 gravada.");
    EXPECT_EQ(Call("ORE00400.rdmAprovaOrca", "NrPropostaPgto", {"0001", "0000000110", "01"}).toString(), "0000000003");
    EXPECT_DOUBLE_EQ(Sql("SELECT VRPARCELAORCA FROM PROPOSTAPGTO WHERE NRPROPOSTAPGTO = '0000000003'").toDouble(), 350.5);
}

TEST_P(Screens, ContractingClientsAreAddedAndRemoved)
{
    Script(R"({"steps":[{"form":"TfrmORE09000","actions":[
        {"text":["edtCliente","F12345678909"]},{"text":["edtConvidados","150"]},{"text":["edtValor","4360"]},{"click":"btnGravar"},
        {"text":["edtCliente","J44555666000199"]},{"click":"btnGravar"},
        {"click":"btnExcluir"},
        {"text":["edtCliente","X000"]},{"click":"btnGravar"},
        {"click":"btnFechar"}]}]})");
    LoadBPL("ORE09000", VarArrayOf({"0001", "0000000101", "01", "ORE06400"}));
    const auto forms = host->Lines("form");
    EXPECT_EQ(Widget("grdContratantes", forms[4]).value("rows").toArray().size(), 1);
    EXPECT_EQ(Widget("grdContratantes", forms[4]).value("columns").toArray().at(3).toString(), "Valor");
    EXPECT_EQ(Widget("grdContratantes", forms[6]).value("rows").toArray().size(), 2);
    EXPECT_EQ(host->Lines("message").value(0).value("text").toString(), "Cliente X000 não cadastrado.");
    EXPECT_EQ(Column(Call("ORE09000.rdmContratante", "GetExisteContratante", {"0001", "0000000101", "01"}), "CDCLIENCONTORCA"),
              QStringList{"F12345678909"});
    EXPECT_TRUE(Call("ORE09000.rdmContratante", "GetQtContratantes", {"0001", "0000000101", "01"}).toBool());
}

TEST_P(Screens, ListingShowsTheDatasetThroughItsTextMapping)
{
    TClientDataSet cdsErro(nullptr, "cdsErro");
    cdsErro.DefineFields({{"CDTABELA", TFieldType::String, 20, fkData, "Tabela"}, {"CDERRO", TFieldType::String, 500, fkData, "Erro"},
                          {"OCULTO", TFieldType::String, 5, fkData, "", false}});
    cdsErro.FieldByName("CDERRO")->OnGetText = [](TField& f, QString& text, bool) {
        if (f.AsString() == "VRPREUNITPED")
            text = "Não há preço cadastrado para os produtos informados.";
    };
    cdsErro.SetData(PacketVar({{"CDTABELA", TFieldType::String, 20}, {"CDERRO", TFieldType::String, 500}},
                              {{"PRODUTO", "VRPREUNITPED"}, {"FILIAL", "texto livre"}}));
    Script(R"({"steps":[{"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]}]})");
    LoadBPL("ORE00610", VarArrayOf({VarRef(&cdsErro), "Execução não pode ser realizada. Existem os seguintes erros:"}));
    const QJsonObject grid = Widget("grdListagem");
    EXPECT_EQ(Widget("lblCabecalho").value("text").toString(), "Execução não pode ser realizada. Existem os seguintes erros:");
    EXPECT_EQ(grid.value("columns").toArray(), Json(R"({"a":["Tabela","Erro"]})")["a"].toArray());
    EXPECT_EQ(grid.value("rows").toArray(), Json(R"({"a":[["PRODUTO","Não há preço cadastrado para os produtos informados."],["FILIAL","texto livre"]]})")["a"].toArray());
}

TEST_P(Screens, ProductRegistrationLinksItemsWithoutProduct)
{
    Script(R"({"steps":[{"form":"TfrmORE06700","actions":[
        {"text":["edtItem","0000000003"]},{"text":["edtNome","Escultura de gelo"]},{"text":["edtDepto","P"]},{"text":["edtPreco","900"]},
        {"click":"btnCriar"},{"click":"btnFechar"}]}]})");
    LoadBPL("ORE06700", VarArrayOf({"0001", "0000000109", "01"}));
    EXPECT_EQ(Widget("grdItens").value("rows").toArray().size(), 1);
    EXPECT_TRUE(Column(Call("ORE06700.rdmProduto", "ItensSemProduto", {"0001", "0000000109", "01"}), "NRITEMORCEVE").isEmpty());
    const QString product = Sql("SELECT CDPRODUTO FROM ITEMORCA WHERE NRORCAEVENTO = '0000000109' AND NRITEMORCEVE = '0000000003'").toString();
    EXPECT_TRUE(product.startsWith("N")) << product.toStdString();
    EXPECT_EQ(Sql("SELECT IDDEPTO FROM PRODUTO WHERE CDPRODUTO = ?", {product}).toString(), "P");
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

} // namespace
