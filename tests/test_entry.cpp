// The module's entry: IniProc and CriaProcessaOrca, the globals, the package's entry points.
#include "TestSupport.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Errors.h"
#include "ScreenLoader.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

#include <QApplication>

extern "C" void IniProc(QVariant Params);
extern "C" const TPackageInfoTable* GetPackageInfoTable();
extern "C" void Initialize();
extern "C" void Finalize();

using namespace Cli_ore06400;

namespace {

QVariant allRights()
{
    return VarArrayOf({PacketVar({{"CDOPERADOR", TFieldType::String, 12}, {"CDPROCHABAPROPE", TFieldType::String, 30}},
                                 {{"OPER1", "APROVAR FECHAR EXECUTAR"}}),
                       PacketVar({{"CDPROCHABAPRORE", TFieldType::String, 30}}, {})});
}

class Entry : public ScriptedHostTest {
protected:
    void SetUp() override
    {
        ScriptedHostTest::SetUp();
        Initialization();
        server.Answer(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"), allRights());
    }
    QVariant entry(QVariant situation, const char* quote = "123", const char* op = "OPER1")
    {
        return VarArrayOf({situation, "0001", QString::fromUtf8(quote), "01", QString::fromUtf8(op), "ORE00400"});
    }
};

TEST_F(Entry, RefusesABadArrayBeforeWritingAnyGlobal)
{
    inStatusOrca = 4;
    stCdFili = QStringLiteral("9999");
    stTelaOrc = QStringLiteral("ORE00800");
    struct Case {
        QVariant params;
        const char* message;
    };
    const QList<Case> cases{
        {VarArrayOf({1, "0001", "123", "01", "OPER1"}),
         "IniProc: esperava seis valores (situação, filial, orçamento, sequência, operador, tela) e recebeu 5."},
        {entry("abc"), "IniProc: o elemento 0 (\"abc\") não é um número inteiro."},
        {entry(2.5), "IniProc: o elemento 0 (2.5) não é um número inteiro."},
        {entry(qlonglong(1) << 40), "IniProc: o elemento 0 (1099511627776) não é um número inteiro."},
        {VarArrayOf({1, Null(), "123", "01", "OPER1", "ORE00400"}), "IniProc: o elemento 1 (null) não é um texto."},
        {VarArrayOf({1, "0001", VarArrayOf({1}), "01", "OPER1", "ORE00400"}), "IniProc: o elemento 2 ([1]) não é um texto."},
        {QStringLiteral("1;0001;123"), "IniProc: esperava uma lista de seis valores e recebeu \"1;0001;123\"."},
    };
    for (const Case& c : cases) {
        try {
            IniProc(c.params);
            ADD_FAILURE() << c.message;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
        }
    }
    EXPECT_EQ(inStatusOrca, 4);
    EXPECT_EQ(stCdFili, "9999");
    EXPECT_EQ(stTelaOrc, "ORE00800");
    EXPECT_TRUE(server.Calls().isEmpty());
    EXPECT_TRUE(host->Transcript().isEmpty());
}

TEST_F(Entry, ANumericTextSituationIsConvertedAndTheDialogShown)
{
    Script(R"({"steps":[{"form":"TfrmProcOrca","actions":[{"close":true}]}]})");
    IniProc(entry(QStringLiteral("2")));
    EXPECT_EQ(inStatusOrca, 2);
    EXPECT_EQ(stNrOrca, "123");
    EXPECT_EQ(stTelaOrc, "ORE00400");
    const auto forms = Lines("form");
    ASSERT_EQ(forms.size(), 3);
    EXPECT_EQ(forms[0]["widgets"]["edtSituacao"]["text"].toString(), "Aprovado");
    EXPECT_EQ(forms[0]["widgets"]["rbtAprovFech"].toObject(),
              Json(R"({"text":"Fechar","visible":true,"enabled":true,"checked":true,"top":20})"));
    EXPECT_FALSE(boIdCriado);
    EXPECT_EQ(frmProcOrca, nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Entry, AQuoteExecutedTotallyIsRefusedUnseen)
{
    IniProc(entry(6));
    ASSERT_EQ(Lines("message").size(), 1);
    EXPECT_EQ(Lines("message")[0], Json(R"({"kind":"message","type":"error",
        "text":"Orçamento está executado totalmente, processamento não pode ser realizado. Operação Bloqueada."})"));
    EXPECT_TRUE(Lines("form").isEmpty());
    EXPECT_FALSE(boIdCriado);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(server.CallNames(), QStringList{"ORE06400.rdmProcOrca.GetOperControle"});   // created, then closed
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Entry, EachLaunchCreatesItsOwnDialog)
{
    Script(R"({"steps":[{"form":"TfrmProcOrca","actions":[{"close":true}]},{"form":"TfrmProcOrca","actions":[{"close":true}]}]})");
    IniProc(entry(1, "123", "OPER1"));
    IniProc(entry(3, "777", "OPER2"));
    const auto calls = server.CallsTo(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"));
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].args, QVariantList{"OPER2"});
    const auto shown = Lines("form");
    EXPECT_EQ(shown[0]["widgets"]["edtOrcaEven"]["text"].toString(), "123/01");
    EXPECT_EQ(shown[3]["widgets"]["edtOrcaEven"]["text"].toString(), "777/01");
    EXPECT_EQ(shown[3]["widgets"]["edtSituacao"]["text"].toString(), "Fechado");
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Entry, AFailingRightsQueryReachesTheHost)
{
    server.AnswerFail(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"), QStringLiteral("Operador sem acesso."));
    EXPECT_THROW(IniProc(entry(1)), EAbort);   // the server's text was shown first
    EXPECT_EQ(Lines("message").value(0).value("text").toString(), "Operador sem acesso.");
    EXPECT_FALSE(boIdCriado);

    server.AnswerError(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"), QStringLiteral("Banco indisponível"));
    EXPECT_THROW(IniProc(entry(1)), ERemoteError);
    server.Answer(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"), PacketVar({{"CDOPERADOR", TFieldType::String, 12}}, {}));
    try {
        IniProc(entry(1));
        FAIL();
    } catch (const EWireError& e) {
        EXPECT_EQ(e.message(), "GetOperControle: esperava uma lista de valores e recebeu um pacote de dados (elemento 0 pedido).");
    }
    EXPECT_FALSE(boIdCriado);
    EXPECT_TRUE(Lines("form").isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Package, EntryPointsRunAndUndoTheUnits)
{
    const TPackageInfoTable* table = GetPackageInfoTable();
    ASSERT_EQ(table->unitCount, 2);
    EXPECT_STREQ(table->units[0].name, "Cli_ore06400");
    EXPECT_STREQ(table->units[1].name, "Cli_ore06401");
    boIdCriado = true;
    Initialize();
    EXPECT_FALSE(boIdCriado);
    stCdFili = QStringLiteral("0001");
    stSaloes = QStringLiteral("'001'");
    Initialize();   // a second reference: nothing runs again
    Finalize();
    EXPECT_EQ(stCdFili, "0001");
    Finalize();     // the last reference: the strings are released
    EXPECT_TRUE(stCdFili.isEmpty());
    EXPECT_TRUE(stSaloes.isEmpty());
}

} // namespace
