// The information dialog: its record and save, its address sources, the location checks and
// searches, the registration shortcuts, and the approval's delivery-address gate.
#include "LocationsDb.h"
#include "ProcessingTest.h"
#include "ServerFixture.h"

#include "Cli_ore06400.h"
#include "Cli_ore06401.h"
#include "ClientDataSet.h"
#include "Components.h"
#include "DBGeral.h"
#include "EventGuard.h"
#include "TfrmInfoOrca.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>

using namespace Cli_ore06400;

namespace {

const QList<TPacketField> kRecordFields{
    {"DSCOMPENDORCEVE", TFieldType::String, 200}, {"CDFILIAL", TFieldType::String, 4}, {"NRORCAEVENTO", TFieldType::String, 10},
    {"NRSEQORCAEVE", TFieldType::String, 2},      {"CDPAIS", TFieldType::String, 4},   {"NMPAIS", TFieldType::String, 30},
    {"SGESTADO", TFieldType::String, 2},          {"CDMUNICIPIO", TFieldType::String, 4}, {"NMMUNICIPIO", TFieldType::String, 30},
    {"CDBAIRRO", TFieldType::String, 10},         {"NMBAIRRO", TFieldType::String, 50}, {"DSENDENTOREV", TFieldType::String, 50},
    {"CDCLICONTORC", TFieldType::String, 21},     {"DSREFENDOREV", TFieldType::String, 50}, {"IDSITUORCEVE", TFieldType::String, 1},
    {"IDENDENTOREV", TFieldType::String, 1}};

struct Record {
    QString situation = "1", source = "T", street = "Av. Boa Viagem, 1000", country = "1058", state = "PE", town = "2611", district = "0000000001";
};

QVariant RecordPacket(const Record& r)
{
    return PacketVar(kRecordFields, {{"Casa", "0001", "123", "01", r.country, "Brasil", r.state, r.town, "Recife", r.district, "Boa Viagem", r.street,
                                      "F12345678909", "Praça", r.situation, r.source}});
}

class Info : public ProcessingTest {
protected:
    void SetUp() override
    {
        ProcessingTest::SetUp();
        CreateLocationsDb(dir.filePath("locais.db"));
        TdtmDBGeral::Open("sqlite:" + dir.filePath("locais.db"));
        Prepare({});
        Cli_ore06401::Initialization();
        server.Answer("ORE06400.rdmProcOrca.GetEndContOrca", RecordPacket({}));
        server.Answer("ORE00800.rdmFechaOrca.SetClieContratante", true);
        server.Answer("ORE00400.rdmAprovaOrca.SetEndCliente", true);
        Create();
        form->quote->cdsOrcaEvento->SetData(PacketVar({{"CDCLIENTE", TFieldType::String, 21}, {"DSENDENTOREV", TFieldType::String, 50}},
                                               {{"J11222333000181", "Rua"}}));
    }
    void TearDown() override
    {
        info.reset();
        TdtmDBGeral::Close();
        ProcessingTest::TearDown();
    }
    // The dialog, shown (not modal) so that the focus can be followed.
    TfrmInfoOrca& Open(const Record& r = {})
    {
        server.Answer("ORE06400.rdmProcOrca.GetEndContOrca", RecordPacket(r));
        info = std::make_unique<TfrmInfoOrca>();
        info->show();
        info->activateWindow();
        QApplication::setActiveWindow(info.get());
        QCoreApplication::processEvents();
        server.ClearCalls();
        return *info;
    }
    void Type(TDBEdit* box, const QString& text)
    {
        box->setFocus();
        QCoreApplication::processEvents();
        box->selectAll();
        box->del();
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(box, &press);
        }
    }
    void Leave() { info->sbtGravar->setFocus(); }   // a control outside the boxes
    QString Field(const char* name) { return info->cdsEndContOrca->FieldByName(name)->AsString(); }

    QTemporaryDir dir;
    std::unique_ptr<TfrmInfoOrca> info;
    QVariantList screenParams;
};

TEST_F(Info, APostSendsTheContractorThenTheAddress)
{
    Open();
    Type(info->dbeEndereco, "Rua Nova, 10");
    info->sbtGravar->click();
    EXPECT_EQ(Methods(), (QStringList{"SetClieContratante", "SetEndCliente"}));
    EXPECT_EQ(server.Calls()[0].args, (QVariantList{"F12345678909", "0001", "123"}));
    EXPECT_EQ(server.Calls()[1].args, (QVariantList{"0001", "123", "01", "Rua Nova, 10", "1058", "PE", "2611", "0000000001", "Praça", "T", "Casa"}));
    EXPECT_EQ(info->cdsEndContOrca->ChangeCount(), 0);
    EXPECT_FALSE(host->WaitShown());

    server.ClearCalls();
    info->cdsEndContOrca->Edit();
    info->sbtGravar->click();   // nothing changed: nothing sent
    EXPECT_TRUE(server.Calls().isEmpty());

    // An approved quote: only the contracting client.
    Open({.situation = "2"});
    EXPECT_FALSE(info->dbeEndereco->isEnabled());
    info->cdsEndContOrca->Edit();
    info->cdsEndContOrca->FieldByName("DSREFENDOREV")->SetAsString("Esquina");
    RunHandler([this] { info->Gravar(); });
    EXPECT_EQ(Methods(), QStringList{"SetClieContratante"});
}

TEST_F(Info, AFailingSaveKeepsTheChangesAndSendsThemAgain)
{
    Open();
    server.AnswerSequence("ORE00800.rdmFechaOrca.SetClieContratante", {TRpcReply::Fail("Contratante bloqueado."), TRpcReply::Value(true)});
    Type(info->dbePontoRef, "Ao lado da padaria");
    info->sbtGravar->click();
    EXPECT_EQ(LastMessage(), "Contratante bloqueado.");
    EXPECT_GT(info->cdsEndContOrca->ChangeCount(), 0);
    EXPECT_EQ(Methods(), QStringList{"SetClieContratante"});
    EXPECT_FALSE(host->WaitShown());
    info->cdsEndContOrca->Edit();
    info->sbtGravar->click();
    EXPECT_EQ(Methods(), (QStringList{"SetClieContratante", "SetClieContratante", "SetEndCliente"}));
    EXPECT_EQ(info->cdsEndContOrca->ChangeCount(), 0);
}

TEST_F(Info, ADialogDestroyedWhileABoxHasTheFocusChecksNothing)
{
    Open();
    Type(info->dbeEndereco, "");   // a box whose check complains when it is left empty
    Type(info->dbeCdMuniClie, "9999");
    const qsizetype messages = Lines("message").size();
    info.reset();   // shown, the focus in a box: hiding it moves the focus out
    EXPECT_EQ(Lines("message").size(), messages);
    EXPECT_TRUE(server.Calls().isEmpty());
}

TEST_F(Info, TheChecksBeforeAPostInTheirOrder)
{
    struct Case {
        Record record;
        const char* message;   // "" when the post goes through
        const char* focus;
    };
    const Case cases[] = {
        {{.street = "", .country = ""}, "Endereço deve ser informado.", "dbeEndereco"},
        {{.country = ""}, "País deve ser informado.", "dbePaisNorm"},
        {{.country = "9999"}, "País não cadastrado.", "dbePaisNorm"},
        {{.state = ""}, "Estado deve ser informado.", "dbeEstado"},
        {{.state = "CB"}, "Estado não cadastrado.", "dbeEstado"},   // Córdoba is Argentina's
        {{.town = ""}, "Município deve ser informado.", "dbeCdMuniClie"},
        {{.town = "0001"}, "Município não cadastrado.", "dbeCdMuniClie"},
        {{.district = "99"}, "Bairro não cadastrado.", "dbeCdBairClie"},
        {{.district = ""}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Open(c.record);
        info->cdsEndContOrca->Edit();
        info->cdsEndContOrca->FieldByName("DSCOMPENDORCEVE")->SetAsString("mudou");
        const qsizetype before = Lines("message").size();
        info->sbtGravar->click();
        if (*c.message) {
            EXPECT_EQ(LastMessage(), QString::fromUtf8(c.message));
            EXPECT_EQ(info->cdsEndContOrca->State(), dsEdit);
            EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), c.focus);
            EXPECT_TRUE(server.Calls().isEmpty());
        } else {
            EXPECT_EQ(Lines("message").size(), before);
            EXPECT_EQ(info->cdsEndContOrca->State(), dsBrowse);
        }
    }
}

TEST_F(Info, TheAddressSourceAtOpeningAndAfterAPost)
{
    for (auto [stored, entry] : {std::pair{"C", 1}, {"P", 2}, {"T", 0}, {"", 0}, {"X", 0}}) {
        Open({.source = stored});
        EXPECT_EQ(info->cbbEndeCliente->currentIndex(), entry) << stored;
        EXPECT_EQ(info->sbtEndeClie->isEnabled(), entry > 0);
    }
    Open({.source = "X"});
    Type(info->dbePontoRef, "outro");
    info->sbtGravar->click();
    EXPECT_EQ(Field("IDENDENTOREV"), "T");
}

TEST_F(Info, CommandsFollowSituationAndState)
{
    Open({.situation = "2"});
    EXPECT_TRUE(info->sbtCadClie->isEnabled());
    EXPECT_FALSE(info->sbtCadProd->isEnabled());
    info->cdsEndContOrca->Edit();
    EXPECT_FALSE(info->sbtCadClie->isEnabled());
    EXPECT_FALSE(info->mnuCadClie->isEnabled());
    EXPECT_FALSE(info->sbtIncluir->isEnabled());
    EXPECT_FALSE(info->mnuConfImpressora->isEnabled());

    Open({.situation = "1"});
    EXPECT_FALSE(info->sbtCadClie->isEnabled());
    EXPECT_TRUE(info->sbtCadProd->isEnabled());
    Open({.situation = "5"});
    EXPECT_FALSE(info->sbtCadClie->isEnabled());
    EXPECT_FALSE(info->sbtCadProd->isEnabled());
    EXPECT_FALSE(info->dbeEndereco->isEnabled());

    // CriaInfOrca(false): the button hidden, its menu item still there and working.
    info.reset();
    server.Answer("ORE06400.rdmProcOrca.GetEndContOrca", RecordPacket({}));
    Script(R"({"steps":[{"form":"TfrmInfoOrca","actions":[{"click":"mnuCadProd"},{"close":true}]}]})");
    host->RegisterScreen("ORE06700", [this](const QVariant& p) { screenParams = p.toList(); });
    Cli_ore06401::CriaInfOrca(false);
    const QJsonObject shown = Lines("form").first().value("widgets").toObject();
    EXPECT_FALSE(shown.value("sbtCadProd").toObject().value("visible").toBool());
    EXPECT_TRUE(shown.value("mnuCadProd").toObject().value("enabled").toBool());
    EXPECT_EQ(screenParams, (QVariantList{"0001", "123", "01"}));
    EXPECT_FALSE(Cli_ore06401::boIdCriado);
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Info, OpensShowingEveryBoxOfItsLayout)
{
    Open();
    // Every box of the address group lies inside the window as it opens, unclipped.
    for (QWidget* box : info->grbEndereco->findChildren<QWidget*>()) {
        const QRect inWindow(box->mapTo(info.get(), QPoint(0, 0)), box->size());
        EXPECT_TRUE(info->rect().contains(inWindow)) << box->objectName().toStdString();
        EXPECT_TRUE(info->clientArea()->rect().contains(QRect(box->mapTo(info->clientArea(), QPoint(0, 0)), box->size())))
            << box->objectName().toStdString();
    }
    EXPECT_GE(info->clientArea()->height(), 278);
    EXPECT_GE(info->clientArea()->width(), 640);
    EXPECT_EQ(info->findChild<QWidget*>("lblAviso"), nullptr);   // opened without a reason, no band
}

TEST_F(Info, AddressSources)
{
    const QList<TPacketField> clientFields{{"DSENDECLIE", TFieldType::String, 50}, {"CDPAIS", TFieldType::String, 4}, {"SGESTADO", TFieldType::String, 2},
                                           {"CDMUNICIPIO", TFieldType::String, 4}, {"CDBAIRRO", TFieldType::String, 10}, {"DSPTOREFECLI", TFieldType::String, 30},
                                           {"NMPAIS", TFieldType::String, 30},     {"NMMUNICIPIO", TFieldType::String, 30}, {"NMBAIRRO", TFieldType::String, 50},
                                           {"DSCOMPENDCLI", TFieldType::String, 200}};
    server.Answer("ORE00400.rdmAprovaOrca.GetCliente", PacketVar(clientFields, {{"Rua da Aurora, 100", "1058", "PE", "2611", "0000000002", "Ponte", "Brasil", "Recife", "Casa Forte", "Sala 12"}}));
    server.Answer("ORE00400.rdmAprovaOrca.GetEndeClie", PacketVar(clientFields, {{"Rua do Sol, 50", "1058", "BA", "2927", "", "", "Brasil", "Salvador", "", "Fundos"}}));
    const QList<TPacketField> hallFields{{"CDSALAOEVEN", TFieldType::String, 3}, {"NMSALAOEVEN", TFieldType::String, 50}, {"DSENDSALAOEV", TFieldType::String, 50},
                                         {"CDPAIS", TFieldType::String, 4}, {"SGESTADO", TFieldType::String, 2}, {"CDMUNICIPIO", TFieldType::String, 4},
                                         {"NMMUNICIPIO", TFieldType::String, 30}};
    server.Answer("ORE00400.rdmAprovaOrca.GetEndSalao", PacketVar(hallFields, {{"001", "Salão Nobre", "Av. do Salão, 1", "1058", "PE", "2611", "Recife"}}));

    // Typed in: everything emptied, the stored names kept.
    Open({.source = "C"});
    info->cbbEndeCliente->setCurrentIndex(0);
    emit info->cbbEndeCliente->activated(0);
    for (const char* f : {"DSENDENTOREV", "CDPAIS", "SGESTADO", "CDMUNICIPIO", "CDBAIRRO", "DSREFENDOREV", "DSCOMPENDORCEVE"})
        EXPECT_EQ(Field(f), "") << f;
    EXPECT_EQ(Field("NMPAIS"), "Brasil");
    EXPECT_TRUE(info->edtPaisNorm->text().isEmpty());
    EXPECT_FALSE(info->sbtEndeClie->isEnabled());

    // A registered client: copied at once; the search then offers its addresses.
    info->cbbEndeCliente->setCurrentIndex(1);
    emit info->cbbEndeCliente->activated(1);
    EXPECT_EQ(server.CallsTo("ORE00400.rdmAprovaOrca.GetCliente").value(0).args, QVariantList{"J11222333000181"});
    EXPECT_EQ(Field("DSENDENTOREV"), "Rua da Aurora, 100");
    EXPECT_EQ(Field("CDBAIRRO"), "0000000002");
    EXPECT_EQ(Field("DSCOMPENDORCEVE"), "Sala 12");
    EXPECT_EQ(info->edtCdBairClie->text(), "Casa Forte");
    Script(R"({"steps":[{"pick":"Fundos"}]})");   // the list's first column is the complement
    info->sbtEndeClie->click();
    EXPECT_EQ(Lines("pick").last().value("title").toString(), "Endereço do Cliente");
    EXPECT_EQ(Field("SGESTADO"), "BA");   // copied as it is, no emptying of the levels below
    EXPECT_EQ(Field("CDMUNICIPIO"), "2927");

    // A hall: the choice opens even for one; cancelling it changes nothing.
    Script(R"({"steps":[{"pick":null},{"pick":"001"}]})");
    info->cbbEndeCliente->setCurrentIndex(2);
    emit info->cbbEndeCliente->activated(2);
    EXPECT_EQ(Field("DSENDENTOREV"), "Rua do Sol, 50");
    emit info->cbbEndeCliente->activated(2);
    EXPECT_EQ(Field("DSENDENTOREV"), "Av. do Salão, 1");
    EXPECT_EQ(Lines("pick").last().value("title").toString(), "Salão");

    // No hall: the address emptied, then the message.
    server.Answer("ORE00400.rdmAprovaOrca.GetEndSalao", PacketVar(hallFields, {}));
    emit info->cbbEndeCliente->activated(2);
    EXPECT_EQ(LastMessage(), "Não há salão cadastrado.");
    EXPECT_EQ(Field("DSENDENTOREV"), "");
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Info, AnUnregisteredClientsAddressComesFromTheQuote)
{
    form->quote->cdsOrcaEvento->SetData(PacketVar({{"CDCLIENTE", TFieldType::String, 21}}, {{QVariant()}}));
    server.Answer("ORE00400.rdmAprovaOrca.GetGeral",
                  VarArrayOf({Null(), Null(), Null(), Null(), Null(), Null(), Null(),
                              PacketVar({{"DSENDECLIORE", TFieldType::String, 50}, {"NMBAIRCLIORE", TFieldType::String, 30}, {"DSPTOREFEORE", TFieldType::String, 30}},
                                        {{"Rua da Hora, 300", "Espinheiro", "Perto da igreja"}})}));
    Open();
    info->cbbEndeCliente->setCurrentIndex(1);
    emit info->cbbEndeCliente->activated(1);
    EXPECT_EQ(Field("DSENDENTOREV"), "Rua da Hora, 300");
    EXPECT_EQ(info->edtCdBairClie->text(), "Espinheiro");
    EXPECT_EQ(server.CallsTo("ORE00400.rdmAprovaOrca.GetGeral").value(0).args, (QVariantList{"0001", "123", "01"}));

    // With the new client's data being changed, nothing is copied.
    form->quote->cdsEndeNovoClie->Edit();
    form->quote->cdsEndeNovoClie->FieldByName("DSENDECLIORE")->SetAsString("Outra");
    form->quote->cdsEndeNovoClie->Post();
    info->cbbEndeCliente->setCurrentIndex(0);
    emit info->cbbEndeCliente->activated(0);
    server.ClearCalls();
    info->cbbEndeCliente->setCurrentIndex(1);
    emit info->cbbEndeCliente->activated(1);
    EXPECT_TRUE(server.Calls().isEmpty());
    EXPECT_EQ(Field("DSENDENTOREV"), "");
}

TEST_F(Info, LocationCodesAreNormalisedCheckedAndClearTheLevelsBelow)
{
    Open();
    Type(info->dbePaisNorm, "639");
    EXPECT_TRUE(Field("SGESTADO").isEmpty());       // a new country empties the levels below
    EXPECT_TRUE(Field("CDMUNICIPIO").isEmpty());
    EXPECT_TRUE(Field("CDBAIRRO").isEmpty());
    EXPECT_TRUE(Field("DSREFENDOREV").isEmpty());
    EXPECT_EQ(Field("DSENDENTOREV"), "Av. Boa Viagem, 1000");   // never the address line
    Leave();
    EXPECT_EQ(Field("CDPAIS"), "0639");
    EXPECT_EQ(info->dbePaisNorm->text(), "0639");
    EXPECT_EQ(info->edtPaisNorm->text(), "Argentina");
    Type(info->dbeEstado, "BA");
    Leave();
    Type(info->dbeCdMuniClie, "1");
    Leave();
    EXPECT_EQ(Field("CDMUNICIPIO"), "0001");
    EXPECT_EQ(info->edtCdMuniClie->text(), "La Plata");
    info->dbePontoRef->setText("ref");
    info->cdsEndContOrca->FieldByName("DSREFENDOREV")->SetAsString("ref");
    Type(info->dbeCdBairClie, "7");
    EXPECT_TRUE(Field("DSREFENDOREV").isEmpty());   // a new district empties only its name and the reference
    EXPECT_EQ(Field("CDMUNICIPIO"), "0001");
    info->dbeCdBairClie->setText("");
    info->cdsEndContOrca->Cancel();

    // While browsing nothing is emptied.
    Open();
    info->dbePaisNorm->setFocus();
    info->dbePaisNorm->setText("1234");
    EXPECT_EQ(Field("SGESTADO"), "PE");

    // An unknown code keeps the operator in its box; the box the focus was going to is not checked.
    Open();
    info->cdsEndContOrca->Edit();
    Type(info->dbePaisNorm, "1234");
    Type(info->dbeCdBairClie, "1");
    EXPECT_EQ(LastMessage(), "País não cadastrado.");
    EXPECT_EQ(Lines("message").size(), 1);
    EXPECT_EQ(QApplication::focusWidget(), info->dbePaisNorm);
    EXPECT_EQ(Field("CDPAIS"), "1234");
    Type(info->dbePaisNorm, "1058");
    Leave();
    EXPECT_EQ(Field("CDPAIS"), "1058");
    Type(info->dbeEstado, "PE");
    Type(info->dbeCdMuniClie, "2611");
    Type(info->dbeCdBairClie, "1");
    Leave();
    EXPECT_EQ(Field("CDBAIRRO"), "0000000001");
    EXPECT_EQ(info->edtCdBairClie->text(), "Boa Viagem");
}

TEST_F(Info, EachLevelEmptiesOnlyTheLevelsBelow)
{
    struct Case {
        TDBEdit* TfrmInfoOrca::*box;
        QStringList emptied, kept;
    };
    const Case cases[] = {
        {&TfrmInfoOrca::dbePaisNorm, {"SGESTADO", "CDMUNICIPIO", "CDBAIRRO", "DSREFENDOREV"}, {"DSENDENTOREV", "DSCOMPENDORCEVE"}},
        {&TfrmInfoOrca::dbeEstado, {"CDMUNICIPIO", "CDBAIRRO", "DSREFENDOREV"}, {"CDPAIS", "DSENDENTOREV"}},
        {&TfrmInfoOrca::dbeCdMuniClie, {"CDBAIRRO", "DSREFENDOREV"}, {"CDPAIS", "SGESTADO"}},
        {&TfrmInfoOrca::dbeCdBairClie, {"DSREFENDOREV"}, {"CDPAIS", "SGESTADO", "CDMUNICIPIO"}},
    };
    for (const Case& c : cases) {
        Open();
        info->cdsEndContOrca->Edit();
        info->cdsEndContOrca->FieldByName("DSREFENDOREV")->SetAsString("Em frente ao parque");
        Type(info.get()->*c.box, "9");
        const QString box = (info.get()->*c.box)->objectName();
        for (const QString& f : c.emptied)
            EXPECT_TRUE(info->cdsEndContOrca->FieldByName(f)->AsString().isEmpty()) << box.toStdString() << " " << f.toStdString();
        for (const QString& f : c.kept)
            EXPECT_FALSE(info->cdsEndContOrca->FieldByName(f)->AsString().isEmpty()) << box.toStdString() << " " << f.toStdString();
        info->cdsEndContOrca->Cancel();
    }
}

TEST_F(Info, SearchingALevel)
{
    Open();
    Script(R"({"steps":[{"pick":"BA"},{"pick":"0639"}]})");
    info->cdsEndContOrca->Edit();
    info->btpEstado->click();
    EXPECT_EQ(Field("SGESTADO"), "BA");
    EXPECT_EQ(info->dbeEstado->text(), "BA");
    EXPECT_EQ(Lines("pick").last().value("title").toString(), "Estado");
    // The country chosen while its box has the focus empties the levels below, as typing would.
    info->dbePaisNorm->setFocus();
    QCoreApplication::processEvents();
    info->btpPaisNorm->click();
    EXPECT_EQ(Field("CDPAIS"), "0639");
    EXPECT_EQ(info->edtPaisNorm->text(), "Argentina");
    EXPECT_TRUE(Field("SGESTADO").isEmpty());
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_F(Info, RegistrationShortcutsHandTheirParameters)
{
    server.Answer("ORE00400.rdmAprovaOrca.GetGeral", VarArrayOf({Null(), Null(), Null(), Null(), Null(), Null(), Null(),
                                                                 PacketVar({{"NRINSJURORCA", TFieldType::String, 20}}, {{"99888777000166"}})}));
    QVariantList params;
    host->RegisterScreen("ORE00105", [&](const QVariant& p) { params = p.toList(); });
    Open({.situation = "2"});
    info->sbtCadClie->click();
    EXPECT_EQ(server.CallsTo("ORE00400.rdmAprovaOrca.GetGeral").value(0).args, (QVariantList{"0001", "123", "01"}));
    ASSERT_EQ(params.size(), 7);
    EXPECT_EQ(params.mid(0, 5), (QVariantList{"", "", "", "", true}));
    EXPECT_EQ(VarDeref<TDataSource>(params[5])->DataSet()->FieldByName("NRINSJURORCA")->AsString(), "99888777000166");
    EXPECT_TRUE(VarDeref<TDataSource>(params[6])->DataSet()->IsEmpty());
}

// ---------------------------------------------------------------- the gate

class Gate : public Info {
protected:
    void Quote(const QString& state, const QList<QVariantList>& items)
    {
        server.Answer("ORE06400.rdmProcOrca.GetOrcaEvento",
                      PacketVar({{"DSENDENTOREV", TFieldType::String, 50}, {"CDPAIS", TFieldType::String, 4}, {"SGESTADO", TFieldType::String, 2},
                                 {"CDMUNICIPIO", TFieldType::String, 4}, {"CDCLIENTE", TFieldType::String, 21}},
                                {{"Rua", "1058", state, "2611", "J1"}}));
        server.Answer("ORE00400.rdmAprovaOrca.GetGeral", VarArrayOf({PacketVar({{"CDPRODUTO", TFieldType::String, 10}}, items)}));
        form->quote->cdsOrcaEvento->SetData(PacketVar({{"DSENDENTOREV", TFieldType::String, 50}, {"CDPAIS", TFieldType::String, 4},
                                                      {"SGESTADO", TFieldType::String, 2}, {"CDMUNICIPIO", TFieldType::String, 4}},
                                                     {{"Rua", "1058", state, "2611"}}));
    }
    bool RunGate()
    {
        return Finishes([this] { form->ValidaEnderecoEntrega(); });
    }
};

TEST_F(Gate, PathsOfTheGate)
{
    server.Answer("ORE06400.rdmProcOrca.GetOperCadProd", PacketVar({{"IDCADPRPROCEORE", TFieldType::String, 1}}, {{"S"}}));
    // Complete and registered: no dialog; the quote and its items are read again.
    Quote("PE", {{"P001"}});
    EXPECT_TRUE(RunGate());
    EXPECT_EQ(Methods(), (QStringList{"GetOperCadProd", "GetOrcaEvento", "GetGeral"}));
    EXPECT_TRUE(Lines("form").isEmpty());

    // A product missing: told, the dialog opens (with its product shortcut), and the gate stops.
    boProdSemCad = true;
    Script(R"({"steps":[{"form":"TfrmInfoOrca","actions":[{"close":true}]}]})");
    Quote("PE", {{"P001"}, {QVariant()}});
    EXPECT_FALSE(RunGate());
    EXPECT_EQ(Lines("message").first().value("text").toString(), "Existem produtos não cadastrados no orçamento informado.");
    EXPECT_TRUE(Lines("form").first().value("widgets").toObject().value("sbtCadProd").toObject().value("visible").toBool());
    // The reason stands in the dialog while the operator works in it.
    EXPECT_EQ(Lines("form").first().value("widgets").toObject().value("lblAviso").toObject().value("text").toString(),
              "Existem produtos não cadastrados no orçamento informado.");
    EXPECT_EQ(LastMessage(), "Existem produtos não cadastrados no orçamento informado. Aprovação não pode ser realizada.");
    boProdSemCad = false;

    // The state missing and left missing; an operator without product rights gets no shortcut.
    server.Answer("ORE06400.rdmProcOrca.GetOperCadProd", PacketVar({{"IDCADPRPROCEORE", TFieldType::String, 1}}, {{"N"}}));
    Script(R"({"steps":[{"form":"TfrmInfoOrca","actions":[{"close":true}]}]})");
    Quote("", {{"P001"}});
    EXPECT_FALSE(RunGate());
    EXPECT_FALSE(Lines("form").last().value("widgets").toObject().value("sbtCadProd").toObject().value("visible").toBool());
    const QJsonObject reason = Lines("form").last().value("widgets").toObject().value("lblAviso").toObject();
    EXPECT_TRUE(reason.value("visible").toBool());
    EXPECT_EQ(reason.value("text").toString(), "O endereço de entrega do orçamento está incompleto. Informe endereço, país, estado e município e grave "
                                               "para que a aprovação continue.");
    EXPECT_EQ(LastMessage(), "Operação Bloqueada! Orçamento deve ter endereço de entrega informado.");
    EXPECT_FALSE(host->WaitShown());

    // An edit in progress is lost by the reload: the dataset browses the server's values.
    Quote("PE", {{"P001"}});
    form->quote->cdsOrcaEvento->Edit();
    form->quote->cdsOrcaEvento->FieldByName("DSENDENTOREV")->SetAsString("Mudado");
    EXPECT_TRUE(RunGate());
    EXPECT_EQ(form->quote->cdsOrcaEvento->State(), dsBrowse);
    EXPECT_EQ(form->quote->cdsOrcaEvento->FieldByName("DSENDENTOREV")->AsString(), "Rua");
}

// The gate against the real server: the dialog completes the demo quote's address.
class GateEndToEnd : public ScriptedServerFixture {
protected:
    void SetUp() override
    {
        ScriptedServerFixture::SetUp();
        TdtmDBGeral::Open(QStringLiteral("sqlite:") + dir.filePath("ore.db"));
        Cli_ore06400::Initialization();
        Cli_ore06401::Initialization();
    }
    void TearDown() override
    {
        TdtmDBGeral::Close();
        ScriptedServerFixture::TearDown();
    }
};
INSTANTIATE_TEST_SUITE_P(Sqlite, GateEndToEnd, ::testing::Values("sqlite"));

TEST_P(GateEndToEnd, TheOperatorCompletesTheAddress)
{
    inStatusOrca = 1;
    stCdFili = "0001";
    stNrOrca = "0000000108";
    stNrSeq = "01";
    stCdOperador = "OPER1";
    stTelaOrc = "ORE00400";
    auto processing = std::make_unique<TfrmProcOrca>();
    frmProcOrca = processing.get();
    processing->quote->cdsOrcaEvento->SetData(Call("ORE06400.rdmProcOrca", "GetOrcaEvento", {"0001", "0000000108", "01"}));
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[{"form":"TfrmInfoOrca","actions":[
        {"text":["dbeEndereco","Rua Nova, 5"]},{"text":["dbePaisNorm","1058"]},{"text":["dbeEstado","PE"]},{"text":["dbeCdMuniClie","2611"]},
        {"text":["dbeCdBairClie","2"]},{"post":true},{"close":true}]}]})").value("steps").toArray());
    bool passed = false;
    RunHandler([&] {
        processing->ValidaEnderecoEntrega();
        passed = true;
    });
    EXPECT_TRUE(passed);
    EXPECT_EQ(Sql("SELECT DSENDENTOREV || '|' || CDPAIS || '|' || SGESTADO || '|' || CDMUNICIPIO || '|' || CDBAIRRO FROM ORCAEVENTO "
                  "WHERE NRORCAEVENTO = '0000000108'").toString(),
              "Rua Nova, 5|1058|PE|2611|0000000002");
    EXPECT_EQ(host->UnscriptedCount(), 0);
    frmProcOrca = nullptr;
}

} // namespace
