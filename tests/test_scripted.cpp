// The scripted operator: a script turned into a transcript for every kind of interaction,
// unscripted interactions answered safely, and the screen loader.
#include "TestSupport.h"

#include "BaseForms.h"
#include "ClientDataSet.h"
#include "Components.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Errors.h"
#include "EventGuard.h"
#include "Lib00700.h"
#include "NetConnection.h"
#include "ScreenLoader.h"
#include "Showavi.h"
#include "Variants.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// A small processing dialog that meets every kind of interaction on its confirmation.
class TfrmTeste : public TfrmRotiGeral {
    Q_OBJECT
public:
    TfrmTeste()
    {
        setWindowTitle(QStringLiteral("Teste"));
        lblCodTela->setText(QStringLiteral("TST00001"));
        auto* layout = new QVBoxLayout(clientArea());
        rbtA = new QRadioButton(QStringLiteral("Aprovar"), clientArea());
        rbtA->setObjectName(QStringLiteral("rbtA"));
        rbtB = new QRadioButton(QStringLiteral("Fechar"), clientArea());
        rbtB->setObjectName(QStringLiteral("rbtB"));
        edtNome = new QLineEdit(clientArea());
        edtNome->setObjectName(QStringLiteral("edtNome"));
        layout->addWidget(rbtA);
        layout->addWidget(rbtB);
        layout->addWidget(edtNome);
        rbtA->setChecked(true);
        msgPadrao->SetLines({QStringLiteral("PERGUNTA|Deseja continuar?"), QStringLiteral("FIM|Processamento realizado com sucesso.")});

        cdsOpcao.DefineFields({{"IDMARCADO", TFieldType::FixedString, 1}, {"NROPCAITOREV", TFieldType::String, 2, fkData, "Opção"}});
        cdsOpcao.SetData(PacketVar({{"NROPCAITOREV", TFieldType::String, 2}}, {{"01"}, {"02"}, {"03"}}));
        cdsSalao.DefineFields({{"CDSALAOEVEN", TFieldType::String, 3, fkData, "Código"}, {"NMSALAOEVEN", TFieldType::String, 50}});
        cdsSalao.SetData(PacketVar({{"CDSALAOEVEN", TFieldType::String, 3}, {"NMSALAOEVEN", TFieldType::String, 50}},
                                   {{"001", "Nobre"}, {"002", "Jardim"}}));
        netTeste.ServerName = QStringLiteral("TST00001.rdmTeste");
        ConnectHandler(sbtConfirma, &QToolButton::clicked, this, [this] { sbtConfirmaClick(); });
    }

    void sbtConfirmaClick()
    {
        ActiveShowAvi(MainForm(), 1);
        try {
            CheckResultServ(netTeste.Call(QStringLiteral("GetNome"), {edtNome->text()}));
            DeactiveShowAvi();
        } catch (...) {
            DeactiveShowAvi();
            throw;
        }
        if (msgPadrao->ShowMsg(QStringLiteral("PERGUNTA"), mtConfirmation, mbYes | mbNo, 0) != mrYes)
            Abort();
        QString opcoes;
        PesquisaLista(&dtsOpcao, QStringLiteral("NROPCAITOREV"), QStringLiteral("Opções"), false, opcoes);
        picked = Pesquisar(&dtsSalao, QStringLiteral("Salão|Não há salões."), false, true) ? cdsSalao.FieldByName("NMSALAOEVEN")->AsString() : QString();
        confirmed = CriaConfSenha(QStringLiteral("SUP1"), QStringLiteral("Senha para aprovação"), QStringLiteral("Operador"));
        bool stop = false;
        LoadBPL(QStringLiteral("ORE00402"), VarArrayOf({QStringLiteral("0001"), VarRef(&stop)}));
        stopped = stop;
        chosen = opcoes;
        msgPadrao->ShowMsg(QStringLiteral("FIM"), mtInformation, mbOK, 0);
        Close();
    }

    QRadioButton *rbtA, *rbtB;
    QLineEdit* edtNome;
    TClientDataSet cdsOpcao{nullptr, QStringLiteral("cdsOpcao")};
    TClientDataSet cdsSalao{nullptr, QStringLiteral("cdsSalao")};
    TDataSource dtsOpcao{nullptr, QStringLiteral("dtsOpcao"), &cdsOpcao};
    TDataSource dtsSalao{nullptr, QStringLiteral("dtsSalao"), &cdsSalao};
    TNetConnection netTeste;
    QString chosen, picked;
    bool confirmed = false, stopped = false;
};

class Scripted : public ScriptedHostTest {
protected:
    void SetUp() override
    {
        ScriptedHostTest::SetUp();
        server.AnswerWith(QStringLiteral("TST00001.rdmTeste.GetNome"), [](const FakeCall& c) { return TRpcReply::Value(c.args.value(0)); });
        server.AnswerWith(QStringLiteral("CRV.rdmHost.ConfSenha"), [](const FakeCall& c) {
            return TRpcReply::Value(c.args.value(0) == QStringLiteral("SUP1") && c.args.value(1) == QStringLiteral("segredo"));
        });
        host->RegisterScreen(QStringLiteral("ORE00402"), [](const QVariant& params) {
            *VarDeref<bool>(VarElement(params, 1, QStringLiteral("ORE00402"))) = true;
        });
    }
};

TEST_F(Scripted, EveryKindOfInteractionIsAnsweredAndWrittenDown)
{
    Script(R"({"steps":[
        {"form":"TfrmTeste","actions":[{"check":"rbtB"},{"text":["edtNome","Ana"]},{"click":"sbtConfirma"}]},
        {"answer":"yes"},
        {"tick":["03","01"]},
        {"pick":"002"},
        {"password":"segredo"}
    ]})");
    TfrmTeste form;
    form.ShowModal();

    EXPECT_EQ(form.chosen, "'01','03'");
    EXPECT_EQ(form.picked, "Jardim");
    EXPECT_TRUE(form.confirmed);
    EXPECT_TRUE(form.stopped);
    EXPECT_TRUE(form.rbtB->isChecked());
    EXPECT_EQ(host->UnscriptedCount(), 0);
    EXPECT_EQ(host->RemainingSteps(), 0);
    EXPECT_FALSE(host->WaitShown());

    // shown, two actions, then the click: everything it does, its action line, and the close
    EXPECT_EQ(Kinds(), (QStringList{"form", "form", "form", "wait", "call", "wait", "message", "list", "pick", "call",
                                    "password", "screen", "screen", "message", "form", "form"}));
    const auto forms = Lines("form");
    EXPECT_EQ(forms[0].value("event").toString(), "shown");
    EXPECT_EQ(forms[0].value("caption").toString(), "Teste");
    EXPECT_EQ(forms[0]["widgets"]["rbtA"].toObject(),
              Json(R"({"text":"Aprovar","visible":true,"enabled":true,"checked":true,"top":9})"));
    EXPECT_EQ(forms[1].value("action").toObject(), Json(R"({"check":"rbtB"})"));
    EXPECT_TRUE(forms[1]["widgets"]["rbtB"]["checked"].toBool());
    EXPECT_EQ(forms[2]["widgets"]["edtNome"]["text"].toString(), "Ana");
    EXPECT_EQ(forms.last().value("event").toString(), "closed");

    const auto calls = Lines("call");
    EXPECT_EQ(calls[0], Json(R"({"kind":"call","object":"TST00001.rdmTeste","method":"GetNome","args":["Ana"],"outcome":"ok"})"));
    EXPECT_EQ(calls[1].value("args").toArray(), Json(R"({"a":["SUP1","********"]})")["a"].toArray());   // never the password
    EXPECT_EQ(Lines("wait")[0], Json(R"({"kind":"wait","on":true,"type":1})"));
    EXPECT_EQ(Lines("wait")[1], Json(R"({"kind":"wait","on":false})"));
    EXPECT_EQ(Lines("list")[0], Json(R"({"kind":"list","title":"Opções","key":"NROPCAITOREV","answer":"'01','03'"})"));
    EXPECT_EQ(Lines("pick")[0], Json(R"({"kind":"pick","title":"Salão","answer":"002"})"));
    EXPECT_EQ(Lines("password")[0], Json(R"({"kind":"password","operator":"SUP1","confirmed":true})"));
    EXPECT_EQ(Lines("screen")[0]["params"].toArray().at(0).toString(), "0001");
    EXPECT_EQ(Lines("screen")[1], Json(R"({"kind":"screen","code":"ORE00402","event":"closed"})"));
    EXPECT_EQ(Lines("message")[1], Json(R"({"kind":"message","type":"information","text":"Processamento realizado com sucesso."})"));
    for (const auto& line : host->Transcript())
        EXPECT_FALSE(QJsonDocument(line).toJson().contains("segredo"));
}

TEST_F(Scripted, AnUnscriptedInteractionGetsTheSafeAnswerAndKeepsTheStep)
{
    Script(R"({"steps":[
        {"form":"TfrmTeste","actions":[{"click":"sbtConfirma"}]},
        {"tick":["01"]}
    ]})");
    TfrmTeste form;
    form.ShowModal();

    // The question found a tick step: it was answered No, and the step stayed for no one.
    EXPECT_EQ(host->UnscriptedCount(), 1);
    EXPECT_EQ(host->RemainingSteps(), 1);
    const auto unscripted = Lines("unscripted");
    ASSERT_EQ(unscripted.size(), 1);
    EXPECT_EQ(unscripted[0], Json(R"({"kind":"unscripted","interaction":"confirmation","detail":"Deseja continuar?",
                                      "next":{"tick":["01"]}})"));
    EXPECT_EQ(Lines("message")[0].value("answer").toString(), "no");
    EXPECT_TRUE(Lines("list").isEmpty());
    EXPECT_FALSE(host->WaitShown());
    EXPECT_EQ(Lines("form").last().value("event").toString(), "closed");   // closed, as the next step is not for it
}

TEST_F(Scripted, AFormWithoutAStepIsClosedAndReported)
{
    Script(R"({"steps":[]})");
    TfrmTeste form;
    form.ShowModal();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Kinds(), (QStringList{"form", "unscripted", "form"}));
    EXPECT_EQ(Lines("unscripted")[0].value("interaction").toString(), "form");
}

TEST_F(Scripted, AnActionThatCannotBeDoneIsReported)
{
    Script(R"({"steps":[{"form":"TfrmTeste","actions":[{"check":"rbtNaoExiste"},{"text":["rbtA","x"]},{"close":true}]}]})");
    TfrmTeste form;
    form.rbtB->setEnabled(false);
    form.ShowModal();
    const auto unscripted = Lines("unscripted");
    ASSERT_EQ(unscripted.size(), 2);
    EXPECT_EQ(unscripted[0].value("detail").toString(), "não há controle rbtNaoExiste em TfrmTeste");
    EXPECT_EQ(unscripted[1].value("detail").toString(), "não há controle rbtA em TfrmTeste");
}

TEST_F(Scripted, PicksCancelledOrMissingAndPasswordsRefused)
{
    Script(R"({"steps":[{"pick":null},{"pick":"999"},{"password":"errada"}]})");
    TClientDataSet ds(nullptr, QStringLiteral("cdsSalao"));
    ds.SetData(PacketVar({{"CDSALAOEVEN", TFieldType::String, 3}}, {{"001"}}));
    TDataSource source(nullptr, QStringLiteral("dtsSalao"), &ds);
    server.Answer(QStringLiteral("CRV.rdmHost.ConfSenha"), false);

    EXPECT_FALSE(Pesquisar(&source, QStringLiteral("Salão|Não há salões."), false, true));
    EXPECT_FALSE(Pesquisar(&source, QStringLiteral("Salão|Não há salões."), false, true));   // 999: not in the list
    EXPECT_EQ(host->UnscriptedCount(), 1);
    host->SetSteps(Json(R"({"s":[{"password":"errada"}]})")["s"].toArray());
    EXPECT_FALSE(CriaConfSenha(QStringLiteral("SUP1"), QStringLiteral("Senha"), QStringLiteral("Operador")));
    EXPECT_EQ(server.CallsTo(QStringLiteral("CRV.rdmHost.ConfSenha")).value(0).args,
              (QVariantList{"SUP1", "errada"}));
    EXPECT_EQ(Lines("password")[0], Json(R"({"kind":"password","operator":"SUP1","confirmed":false})"));
}

TEST_F(Scripted, ScreensComeFromTheirPackages)
{
    // The loader's own test package, found as any screen: code TST01 is libPkg_oretst01.so.
    bool flag = false;
    int initialized = 0;
    LoadBPL(QStringLiteral("ORETST01"), VarArrayOf({QStringLiteral("stop"), VarRef(&flag), VarRef(&initialized)}));
    EXPECT_TRUE(flag);
    EXPECT_EQ(initialized, 1);   // Initialize ran once, when the package was loaded
    LoadBPL(QStringLiteral("oretst01"), VarArrayOf({QStringLiteral("go"), VarRef(&flag), VarRef(&initialized)}));
    EXPECT_FALSE(flag);
    EXPECT_EQ(initialized, 1);

    try {
        LoadBPL(QStringLiteral("ORE99999"), VarArrayOf({}));
        FAIL();
    } catch (const EScreenError& e) {
        EXPECT_EQ(e.message(), "Tela ORE99999: pacote " + PackagesDir() + "/libPkg_ore99999.so não encontrado.");
    }
    EXPECT_THROW(LoadBPL(QStringLiteral("../x"), VarArrayOf({})), EScreenError);
    EXPECT_EQ(Lines("screen").size(), 8);   // each launch and each close, the failed ones included
}

TEST_F(Scripted, APersonsWorkIsRecordedInTheSameLines)
{
    // The recording wraps whatever services answer; here a scripted operator plays the person.
    QBuffer log;
    log.open(QIODevice::WriteOnly);
    TfrmTeste form;   // its data for the list
    auto inner = std::make_unique<ScriptedHostServices>();
    inner->SetSteps(Json(R"({"s":[{"answer":"no"},{"tick":["02"]}]})")["s"].toArray());
    RecordingHostServices services(std::move(inner), &log);
    EXPECT_EQ(services.messageDlg(QStringLiteral("Deseja continuar?"), mtConfirmation, mbYes | mbNo, 0), mrNo);
    QString none;
    EXPECT_EQ(services.tickList(&form.dtsOpcao, QStringLiteral("NROPCAITOREV"), QStringLiteral("Opções"), none), "'02'");
    services.showWait(nullptr, 6);
    services.hideWait();
    services.hideWait();
    services.callMade({QStringLiteral("CRV.rdmHost"), QStringLiteral("ConfSenha"), {QStringLiteral("SUP1"), QStringLiteral("********")}});

    const QList<QByteArray> lines = log.data().split('\n');
    ASSERT_EQ(lines.size(), 6);   // five lines and the final newline
    EXPECT_EQ(lines[0], R"({"kind":"message","answer":"no","text":"Deseja continuar?","type":"confirmation"})");
    EXPECT_EQ(lines[1], R"({"kind":"list","answer":"'02'","key":"NROPCAITOREV","title":"Opções"})");
    EXPECT_EQ(lines[2], R"({"kind":"wait","on":true,"type":6})");
    EXPECT_EQ(lines[3], R"({"kind":"wait","on":false})");
    EXPECT_EQ(lines[4], R"({"kind":"call","args":["SUP1","********"],"method":"ConfSenha","object":"CRV.rdmHost","outcome":"ok"})");
}

TEST_F(Scripted, APasswordNeverReachesTheTranscript)
{
    // The password step waits for a password question; a confirmation comes first.
    QBuffer log;
    log.open(QIODevice::WriteOnly);
    host->SetTranscriptDevice(&log);
    Steps(R"([{"password":"segredo"}, {"answer":"yes", "password":"outro segredo"}])");
    EXPECT_EQ(MessageDlg(QStringLiteral("Deseja continuar?"), mtConfirmation, mbYes | mbNo, 0), mrNo);
    EXPECT_EQ(Lines("unscripted").value(0).value("next").toObject(), Json(R"({"password":"********"})"));
    EXPECT_FALSE(log.data().contains("segredo")) << log.data().toStdString();
    host->SetTranscriptDevice(nullptr);
}

} // namespace

#include "test_scripted.moc"
