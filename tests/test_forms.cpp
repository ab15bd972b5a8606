// The base forms and the components, driven as an operator would drive them.
#include "TestSupport.h"

#include "BaseForms.h"
#include "ClientDataSet.h"
#include "Components.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "EventGuard.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {

// A maintenance window over one record with a required name and a search for the city.
class TfrmCadastro : public TfrmPadraoSimples {
    Q_OBJECT
public:
    TfrmCadastro()
    {
        setWindowTitle(QStringLiteral("Cadastro"));
        lblCodTela->setText(QStringLiteral("TST00002"));
        msgPadrao->SetLines({QStringLiteral("NOME_INF|Nome deve ser informado.")});
        cdsCliente.DefineFields({{"NMCLIENTE", TFieldType::String, 10}, {"CDCIDADE", TFieldType::String, 4}});
        cdsCliente.SetData(PacketVar({{"NMCLIENTE", TFieldType::String, 10}, {"CDCIDADE", TFieldType::String, 4}}, {{"Ana", "0001"}}));
        cdsCidade.SetData(PacketVar({{"CDCIDADE", TFieldType::String, 4}, {"NMCIDADE", TFieldType::String, 30}},
                                    {{"0001", "Recife"}, {"0002", "Olinda"}}));
        dtsPadrao->SetDataSet(&cdsCliente);

        auto* grid = new QGridLayout(clientArea());
        dbeNome = new TDBEdit(clientArea(), QStringLiteral("dbeNome"));
        dbeNome->SetDataSource(dtsPadrao);
        dbeNome->SetDataField(QStringLiteral("NMCLIENTE"));
        dbeCidade = new TDBEdit(clientArea(), QStringLiteral("dbeCidade"));
        dbeCidade->SetDataSource(dtsPadrao);
        dbeCidade->SetDataField(QStringLiteral("CDCIDADE"));
        btpCidade = new TBtnPesquisa(clientArea(), QStringLiteral("btpCidade"));
        btpCidade->DataSource = &dtsCidade;
        btpCidade->Title = QStringLiteral("Cidades");
        btpCidade->EmptyText = QStringLiteral("Não há cidades.");
        btpCidade->BeforePesq = [this](QObject*, bool& proceed) { proceed = allowSearch; };
        btpCidade->AfterPesq = [this](QObject*) {
            if (cdsCliente.State() == dsBrowse)
                cdsCliente.Edit();
            cdsCliente.FieldByName("CDCIDADE")->SetAsString(cdsCidade.FieldByName("CDCIDADE")->AsString());
        };
        grid->addWidget(dbeNome, 0, 0);
        grid->addWidget(dbeCidade, 1, 0);
        grid->addWidget(btpCidade, 1, 1);
        connect(dbeNome, &TDBEdit::exited, this, [this] { ++exits; });

        sbtCadClie = new TButtonFlat(nullptr, QStringLiteral("sbtCadClie"), QStringLiteral("Cadastrar Cliente"));
        mnuCadClie = AddCommand(sbtCadClie, QStringLiteral("mnuCadClie"), QStringLiteral("Ca&dastrar Cliente"),
                                QKeySequence(Qt::CTRL | Qt::Key_D), [this] { ++registrations; });
        cdsCliente.BeforePost = [this](TClientDataSet& ds) {
            if (ds.FieldByName("NMCLIENTE")->AsString().isEmpty()) {
                dbeNome->setFocus();
                MensErro(msgPadrao->Msg(QStringLiteral("NOME_INF")), true);
            }
        };
        cdsCliente.AfterPost = [this](TClientDataSet&) { ++posts; };
        FormCreate();
    }

    void dtsPadraoStateChange() override
    {
        TfrmPadraoSimples::dtsPadraoStateChange();
        sbtCadClie->setEnabled(dtsPadrao->State() == dsBrowse);
        Follow(mnuCadClie, sbtCadClie);
    }
    void FormClose() override
    {
        TfrmPadraoSimples::FormClose();
        ++closes;
    }

    TClientDataSet cdsCliente{nullptr, QStringLiteral("cdsCliente")};
    TClientDataSet cdsCidade{nullptr, QStringLiteral("cdsCidade")};
    TDataSource dtsCidade{nullptr, QStringLiteral("dtsCidade"), &cdsCidade};
    TDBEdit *dbeNome, *dbeCidade;
    TBtnPesquisa* btpCidade;
    TButtonFlat* sbtCadClie;
    QAction* mnuCadClie;
    bool allowSearch = true;
    int exits = 0, posts = 0, closes = 0, registrations = 0;
};

class Forms : public ScriptedHostTest {};

TEST_F(Forms, TypingEditsTheRecordAndAFailedCheckKeepsIt)
{
    Script(R"({"steps":[{"form":"TfrmCadastro","actions":[
        {"text":["dbeNome",""]},
        {"post":true},
        {"text":["dbeNome","Beatriz Lima"]},
        {"post":true},
        {"close":true}
    ]}]})");
    TfrmCadastro form;
    form.ShowModal();

    const auto forms = Lines("form");
    ASSERT_EQ(forms.size(), 7);
    EXPECT_FALSE(forms[0]["widgets"]["sbtGravar"]["enabled"].toBool());
    EXPECT_TRUE(forms[0]["widgets"]["mnuCadClie"]["enabled"].toBool());
    // typed empty: the record is in edit, so posting is offered and registering is not
    EXPECT_TRUE(forms[1]["widgets"]["sbtGravar"]["enabled"].toBool());
    EXPECT_FALSE(forms[1]["widgets"]["sbtCadClie"]["enabled"].toBool());
    EXPECT_FALSE(forms[1]["widgets"]["mnuCadClie"]["enabled"].toBool());
    // the check stopped the post: message shown, record still in edit with its empty name
    EXPECT_EQ(Lines("message").value(0), Json(R"({"kind":"message","type":"error","text":"Nome deve ser informado."})"));
    EXPECT_TRUE(forms[2]["widgets"]["sbtGravar"]["enabled"].toBool());
    EXPECT_EQ(forms[2]["widgets"]["dbeNome"]["text"].toString(), "");
    // the data-aware box holds at most the field's size
    EXPECT_EQ(forms[3]["widgets"]["dbeNome"]["text"].toString(), "Beatriz Li");
    EXPECT_FALSE(forms[4]["widgets"]["sbtGravar"]["enabled"].toBool());
    EXPECT_EQ(form.cdsCliente.FieldByName("NMCLIENTE")->AsString(), "Beatriz Li");
    EXPECT_EQ(form.cdsCliente.ChangeCount(), 1);
    EXPECT_EQ(form.posts, 1);
    EXPECT_EQ(form.exits, 2);
    EXPECT_EQ(form.closes, 1);
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Forms, ClosingWithAnOpenEditAsksWhetherToSaveIt)
{
    Script(R"({"steps":[
        {"form":"TfrmCadastro","actions":[{"text":["dbeNome","Carla"]},{"close":true}]},
        {"answer":"no"},
        {"form":"TfrmCadastro","actions":[{"text":["dbeNome","Dora"]},{"close":true}]},
        {"answer":"yes"}
    ]})");
    {
        TfrmCadastro form;
        form.ShowModal();
        EXPECT_EQ(form.cdsCliente.FieldByName("NMCLIENTE")->AsString(), "Ana");
        EXPECT_EQ(form.posts, 0);
    }
    TfrmCadastro form;
    form.ShowModal();
    EXPECT_EQ(form.cdsCliente.FieldByName("NMCLIENTE")->AsString(), "Dora");
    EXPECT_EQ(form.posts, 1);
    EXPECT_EQ(Lines("message").value(0).value("text").toString(), "O registro foi alterado. Deseja gravar as alterações?");
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Forms, TheSearchButtonRunsItsEventsAroundTheChoice)
{
    Script(R"({"steps":[
        {"form":"TfrmCadastro","actions":[{"click":"btpCidade"},{"click":"btpCidade"},{"click":"mnuCadClie"},
                                          {"post":true},{"click":"mnuCadClie"},{"close":true}]},
        {"pick":null},
        {"pick":"0002"}
    ]})");
    TfrmCadastro form;
    form.ShowModal();
    EXPECT_EQ(Lines("pick").value(0).value("answer"), QJsonValue::Null);
    EXPECT_EQ(Lines("pick").value(1), Json(R"({"kind":"pick","title":"Cidades","answer":"0002"})"));
    EXPECT_EQ(form.cdsCliente.FieldByName("CDCIDADE")->AsString(), "0002");
    EXPECT_EQ(form.dbeCidade->text(), "0002");
    // the menu item follows its button: disabled while editing, working once posted
    EXPECT_EQ(Lines("unscripted").size(), 1);
    EXPECT_EQ(Lines("unscripted").value(0).value("detail").toString(), "mnuCadClie está desabilitado");
    EXPECT_EQ(form.registrations, 1);

    form.allowSearch = false;
    EXPECT_FALSE(form.btpCidade->Execute());
    EXPECT_EQ(Lines("pick").size(), 2);
}

TEST_F(Forms, TheProcessingBaseRunsFormCloseOnEveryWayOut)
{
    struct TfrmProc : TfrmRotiGeral {
        int closes = 0;
        void FormClose() override { ++closes; }
    } form;
    Script(R"({"steps":[]})");
    form.ShowModal();          // no step: closed by the operator
    form.Close();              // closing what is not shown still runs the close handling
    EXPECT_EQ(form.closes, 2);
    EXPECT_EQ(form.findChild<QWidget*>(QStringLiteral("panBotoes"))->findChild<TButtonFlat*>(QStringLiteral("sbtConfirma")), form.sbtConfirma);
}

TEST_F(Forms, TheSearchButtonIsReachedFromItsBoxAndByTab)
{
    Script(R"({"steps":[{"pick":"0002"}]})");
    TfrmCadastro form;
    form.show();
    EXPECT_EQ(form.btpCidade->Box(), form.dbeCidade);
    EXPECT_TRUE(form.btpCidade->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(form.btpCidade->focusPolicy() & Qt::ClickFocus);   // a click leaves the box's check for when the box is left
    EXPECT_TRUE(form.btpCidade->toolTip().contains("F4"));
    QKeyEvent f4(QEvent::KeyPress, TBtnPesquisa::SearchKey, Qt::NoModifier);
    QApplication::sendEvent(form.dbeCidade, &f4);
    EXPECT_EQ(Lines("pick").value(0), Json(R"({"kind":"pick","title":"Cidades","answer":"0002"})"));
    EXPECT_EQ(form.dbeCidade->text(), "0002");
    QApplication::sendEvent(form.dbeNome, &f4);   // a box without a search button: nothing
    EXPECT_EQ(Lines("pick").size(), 1);
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Forms, TheProcessingBaseConfirmsWithEnterAndOffersAWayOut)
{
    struct TfrmProc : TfrmRotiGeral {
        TfrmProc()
        {
            auto* layout = new QGridLayout(clientArea());
            choice = new QRadioButton(QStringLiteral("Aprovar"), clientArea());
            shown = new QLineEdit(QStringLiteral("Pendente"), clientArea());
            shown->setReadOnly(true);
            shown->setEnabled(false);
            layout->addWidget(choice, 0, 0);
            layout->addWidget(shown, 1, 0);
            connect(sbtConfirma, &QToolButton::clicked, this, [this] { ++confirms; });
        }
        void FormClose() override { ++closes; }
        QRadioButton* choice;
        QLineEdit* shown;
        int confirms = 0, closes = 0;
    } form;
    form.show();
    form.choice->setFocus();
    auto press = [](QWidget* to, Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    };
    press(form.choice, Qt::Key_Return);   // from the choice, Enter confirms
    press(form.choice, Qt::Key_Enter);
    EXPECT_EQ(form.confirms, 2);
    EXPECT_EQ(form.closes, 0);

    // The situation box cannot be typed in, but its text reads as any other text.
    EXPECT_EQ(form.shown->palette().color(QPalette::Disabled, QPalette::Text), form.shown->palette().color(QPalette::Active, QPalette::Text));

    // Besides Escape, a button closes the dialog; Enter on it closes, not confirms.
    ASSERT_TRUE(form.sbtFechar->isVisible());
    EXPECT_EQ(form.sbtFechar->text(), "&Fechar");
    form.sbtFechar->setFocus();
    press(form.sbtFechar, Qt::Key_Return);
    EXPECT_EQ(form.confirms, 2);
    EXPECT_EQ(form.closes, 1);
    EXPECT_FALSE(form.isVisible());
}

} // namespace

#include "test_forms.moc"
