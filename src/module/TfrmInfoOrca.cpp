#include "TfrmInfoOrca.h"

#include "Cli_ore06400.h"
#include "Cli_ore06401.h"
#include "ClientDataSet.h"
#include "Components.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "DBGeral.h"
#include "Dialogs.h"
#include "Errors.h"
#include "EventGuard.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "Showavi.h"
#include "TextRoutines.h"
#include "Approval.h"
#include "Closing.h"
#include "QuoteContext.h"
#include "TfrmProcOrca.h"
#include "Variants.h"
#include "WireContract.h"

#include <QAction>
#include <QApplication>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Cli_ore06400::TQuoteSituation;

namespace Cli_ore06401 {

TfrmInfoOrca* frmInfoOrca = nullptr;
bool boIdCriado = false;

void Initialization() { boIdCriado = false; }
void Finalization() {}

void CriaInfOrca(bool ShowCadProd) { CriaInfOrca(ShowCadProd, QString()); }

void CriaInfOrca(bool ShowCadProd, const QString& reason)
{
    if (!boIdCriado) {
        const WaitCursor hourglass;
        frmInfoOrca = new TfrmInfoOrca;
        boIdCriado = true;
    }
    frmInfoOrca->setWindowState(Qt::WindowNoState);
    frmInfoOrca->sbtCadProd->setVisible(ShowCadProd);
    frmInfoOrca->ShowNotice(reason);
    frmInfoOrca->ShowModal();
    // A dialog whose close ran is released: the next call loads the record again.
    if (!boIdCriado) {
        delete frmInfoOrca;
        frmInfoOrca = nullptr;
    }
}

} // namespace Cli_ore06401

using namespace Cli_ore06401;

namespace {

// The location queries: lists for the searches, checks for the validators.
const char* const kQueries[][2] = {
    {"qryPais", "SELECT CDPAIS, NMPAIS FROM PAIS"},
    {"qryEstado", "SELECT E.SGESTADO, E.NMESTADO FROM ESTADO E JOIN PAIS P ON E.CDPAIS = P.CDPAIS WHERE E.CDPAIS = :P_CDPAIS ORDER BY E.SGESTADO"},
    {"qryMunicipio", "SELECT M.CDMUNICIPIO, M.NMMUNICIPIO FROM MUNICIPIO M JOIN ESTADO E ON M.SGESTADO = E.SGESTADO "
                     "WHERE M.SGESTADO = :P_SGESTADO ORDER BY M.NMMUNICIPIO, M.CDMUNICIPIO"},
    {"qryBairro", "SELECT CDBAIRRO, NMBAIRRO FROM BAIRRO WHERE CDPAIS = :P_CDPAIS AND SGESTADO = :P_SGESTADO AND CDMUNICIPIO = :P_CDMUNICIPIO "
                  "ORDER BY NMBAIRRO, CDBAIRRO"},
    {"qryVd_Pais", "SELECT CDPAIS, NMPAIS FROM PAIS WHERE CDPAIS = :P_CDPAIS"},
    {"qryVd_Estado", "SELECT SGESTADO, NMESTADO FROM ESTADO WHERE CDPAIS = :P_CDPAIS AND SGESTADO = :P_SGESTADO"},
    {"qryVd_Municipio", "SELECT CDMUNICIPIO, NMMUNICIPIO FROM MUNICIPIO WHERE CDPAIS = :P_CDPAIS AND SGESTADO = :P_SGESTADO AND CDMUNICIPIO = :P_CDMUNICIPIO"},
    {"qryVd_Bairro", "SELECT CDBAIRRO, NMBAIRRO FROM BAIRRO WHERE CDPAIS = :P_CDPAIS AND SGESTADO = :P_SGESTADO AND CDMUNICIPIO = :P_CDMUNICIPIO "
                     "AND CDBAIRRO = :P_CDBAIRRO ORDER BY NMBAIRRO, CDBAIRRO"},
};

} // namespace

TfrmInfoOrca::TfrmInfoOrca(QWidget* parent) : TfrmPadraoSimples(parent)
{
    setObjectName(QStringLiteral("frmInfoOrca"));
    setupUi(clientArea());
    clientArea()->setMinimumSize(clientArea()->size());   // opens showing every box of its layout
    setWindowTitle(clientArea()->windowTitle());
    lblCodTela->setText(QStringLiteral("ORE06401"));
    msgPadrao->LoadFromFile(QStringLiteral(":/Pkg_ore06400/TfrmInfoOrca.msgPadrao.txt"));
    msgPadraoAprov = new TMessages(this, QStringLiteral("msgPadraoAprov"));
    msgPadraoAprov->LoadFromFile(QStringLiteral(":/Pkg_ore06400/TfrmInfoOrca.msgPadraoAprov.txt"));

    for (const auto& [name, sql] : kQueries)
        new TADOIBQuery(this, QString::fromLatin1(name), QString::fromLatin1(sql));
    DefineDataSets(this, QStringLiteral(":/Pkg_ore06400/TfrmInfoOrca.datasets.json"));
    auto dataSet = [this](const char* name) { return findChild<TClientDataSet*>(QString::fromLatin1(name)); };
    auto query = [this](const char* name) { return findChild<TADOIBQuery*>(QString::fromLatin1(name)); };
    auto source = [this](const char* name, TClientDataSet* ds) { return new TDataSource(this, QString::fromLatin1(name), ds); };
    cdsEndContOrca = dataSet("cdsEndContOrca");
    cdsCliente = dataSet("cdsCliente");
    cdsEndeClie = dataSet("cdsEndeClie");
    cdsEndSalao = dataSet("cdsEndSalao");
    cdsEndeNovoClie = dataSet("cdsEndeNovoClie");
    cdsInteclieOrev = dataSet("cdsInteclieOrev");
    qryPais = query("qryPais");
    qryEstado = query("qryEstado");
    qryMunicipio = query("qryMunicipio");
    qryBairro = query("qryBairro");
    qryVd_Pais = query("qryVd_Pais");
    qryVd_Estado = query("qryVd_Estado");
    qryVd_Municipio = query("qryVd_Municipio");
    qryVd_Bairro = query("qryVd_Bairro");
    dtsEndeClie = source("dtsEndeClie", cdsEndeClie);
    dtsEndSalao = source("dtsEndSalao", cdsEndSalao);
    dtsEndeCliSal = source("dtsEndeCliSal", nullptr);
    dtsEndeNovoClie = source("dtsEndeNovoClie", cdsEndeNovoClie);
    dtsInteclieOrev = source("dtsInteclieOrev", cdsInteclieOrev);
    dtsPais = source("dtsPais", qryPais);
    dtsEstado = source("dtsEstado", qryEstado);
    dtsMunicipio = source("dtsMunicipio", qryMunicipio);
    dtsBairro = source("dtsBairro", qryBairro);
    dtsPadrao->SetDataSet(cdsEndContOrca);

    // The boxes and their fields; the four entries required at the post have the info colour.
    const std::pair<TDBEdit*, const char*> boxes[] = {{dbeEndereco, "DSENDENTOREV"}, {dbeCompEndOrca, "DSCOMPENDORCEVE"}, {dbePaisNorm, "CDPAIS"},
                                                      {dbeEstado, "SGESTADO"},       {dbeCdMuniClie, "CDMUNICIPIO"},    {dbeCdBairClie, "CDBAIRRO"},
                                                      {dbePontoRef, "DSREFENDOREV"}, {dbeNrInsJurCont, "NRINSJURCONT"}, {dbeNmFantCont, "NMFANTCONT"}};
    for (const auto& [box, field] : boxes) {
        box->SetDataSource(dtsPadrao);
        box->SetDataField(QString::fromLatin1(field));
    }
    for (TDBEdit* required : {dbeEndereco, dbePaisNorm, dbeEstado, dbeCdMuniClie}) {
        QPalette info = required->palette();
        info.setColor(QPalette::Base, QApplication::palette().color(QPalette::ToolTipBase));
        required->setPalette(info);
    }

    // Commands of the dialog.
    sbtCadClie = new TButtonFlat(nullptr, QStringLiteral("sbtCadClie"), QStringLiteral("Cadastrar Cliente"));
    mnuCadClie = AddCommand(sbtCadClie, QStringLiteral("mnuCadClie"), QStringLiteral("Ca&dastrar Cliente"), QKeySequence(Qt::CTRL | Qt::Key_D),
                            [this] { sbtCadClieClick(); });
    sbtCadProd = new TButtonFlat(nullptr, QStringLiteral("sbtCadProd"), QStringLiteral("Cadastrar Produto"));
    mnuCadProd = AddCommand(sbtCadProd, QStringLiteral("mnuCadProd"), QStringLiteral("&Cadastrar Produto"), QKeySequence(Qt::CTRL | Qt::Key_P),
                            [this] { sbtCadProdClick(); });

    // The address sources.
    connect(cbbEndeCliente, &QComboBox::activated, this, [this] { RunHandler([this] { cbbEndeClienteClick(); }); });
    sbtEndeClie->DataSource = dtsEndeCliSal;
    sbtEndeClie->BeforePesq = [this](QObject* s, bool& proceed) { sbtEndeClieBeforePesq(s, proceed); };
    sbtEndeClie->AfterPesq = [this](QObject* s) { sbtEndeClieAfterPesq(s); };
    connect(dbeEndereco, &TDBEdit::exited, this, [this] { RunHandler([this] { Vd_Endereco(false); }); });

    // The location levels: search, leaving the box, changing it.
    struct Level {
        TBtnPesquisa* button;
        TDataSource* source;
        const char* title;
        const char* empty;
    };
    for (const Level& l : {Level{btpPaisNorm, dtsPais, "País", "Não há país cadastrado."},
                           Level{btpEstado, dtsEstado, "Estado", "Não há estado cadastrado para o país informado."},
                           Level{btpMunicipiClie, dtsMunicipio, "Município", "Não há município cadastrado para o estado informado."},
                           Level{btnBairro, dtsBairro, "Bairro", "Não há bairro cadastrado."}}) {
        l.button->DataSource = l.source;
        l.button->Title = QString::fromUtf8(l.title);
        l.button->EmptyText = QString::fromUtf8(l.empty);
    }
    btpEstado->BeforePesq = [this](QObject*, bool&) { SearchLevel(qryEstado, {QStringLiteral("P_CDPAIS"), dbePaisNorm->text()}); };
    btpMunicipiClie->BeforePesq = [this](QObject*, bool&) { SearchLevel(qryMunicipio, {QStringLiteral("P_SGESTADO"), dbeEstado->text()}); };
    btnBairro->BeforePesq = [this](QObject*, bool&) {
        SearchLevel(qryBairro, {QStringLiteral("P_CDPAIS"), dbePaisNorm->text(), QStringLiteral("P_SGESTADO"), dbeEstado->text(),
                                QStringLiteral("P_CDMUNICIPIO"), dbeCdMuniClie->text()});
    };
    btpPaisNorm->AfterPesq = [this](QObject*) { LevelChosen(qryPais, dbePaisNorm, "CDPAIS", "NMPAIS", edtPaisNorm); };
    btpEstado->AfterPesq = [this](QObject*) { LevelChosen(qryEstado, dbeEstado, "SGESTADO", nullptr, nullptr); };
    btpMunicipiClie->AfterPesq = [this](QObject*) { LevelChosen(qryMunicipio, dbeCdMuniClie, "CDMUNICIPIO", "NMMUNICIPIO", edtCdMuniClie); };
    btnBairro->AfterPesq = [this](QObject*) { LevelChosen(qryBairro, dbeCdBairClie, "CDBAIRRO", "NMBAIRRO", edtCdBairClie); };
    OnExit(dbePaisNorm, [this] { Vd_Pais(false); });
    OnExit(dbeEstado, [this] { Vd_Estado(false); });
    OnExit(dbeCdMuniClie, [this] { Vd_Municipio(false); });
    OnExit(dbeCdBairClie, [this] { Vd_Bairro(false); });
    int level = 0;
    for (TDBEdit* box : {dbePaisNorm, dbeEstado, dbeCdMuniClie, dbeCdBairClie})
        connect(box, &QLineEdit::textChanged, this, [this, box, l = level++] { RunHandler([this, box, l] { LevelChanged(box, l); }); });

    cdsEndContOrca->BeforePost = [this](TClientDataSet&) { cdsEndContOrcaBeforePost(); };
    cdsEndContOrca->AfterPost = [this](TClientDataSet&) { cdsEndContOrcaAfterPost(); };
    FormCreate();
}

TfrmInfoOrca::~TfrmInfoOrca() = default;

QString TfrmInfoOrca::MsgAprov(const char* key) const { return msgPadraoAprov->Msg(QString::fromLatin1(key)); }

TfrmProcOrca* TfrmInfoOrca::Processing() const
{
    if (!Cli_ore06400::frmProcOrca)
        throw EHostError(QStringLiteral("O diálogo de informações só abre com o processamento do orçamento aberto."));
    return Cli_ore06400::frmProcOrca;
}

QString TfrmInfoOrca::Situation() const
{
    return cdsEndContOrca->Active() ? cdsEndContOrca->Text(u"IDSITUORCEVE"_s) : QString();
}

bool TfrmInfoOrca::Editing() const { return cdsEndContOrca->State() == dsEdit || cdsEndContOrca->State() == dsInsert; }

void TfrmInfoOrca::EnsureEditing()
{
    if (!Editing())
        cdsEndContOrca->Edit();
}

void TfrmInfoOrca::FormCreate()
{
    TfrmPadraoSimples::FormCreate();
    TfrmProcOrca* processing = Processing();
    {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        QVariantList key{processing->stCdFilial, processing->stNrOrcamento, processing->stNrSequencia};
        cdsEndContOrca->SetData(CheckResultServ(processing->quote->netProcessaOrca->CallRef(QStringLiteral("GetEndContOrca"), key)));
    }

    sbtCadClie->setEnabled(Situation() == FieldCode(TQuoteSituation::Approved));
    Follow(mnuCadClie, sbtCadClie);
    edtPaisNorm->setText(cdsEndContOrca->Text(u"NMPAIS"_s));
    edtCdMuniClie->setText(cdsEndContOrca->Text(u"NMMUNICIPIO"_s));
    edtCdBairClie->setText(cdsEndContOrca->Text(u"NMBAIRRO"_s));
    SetChildEnabled(grbEndereco, Situation() == FieldCode(TQuoteSituation::Pending));
    const QString source = cdsEndContOrca->Text(u"IDENDENTOREV"_s);
    cbbEndeCliente->setCurrentIndex(source == QLatin1String("C") ? 1 : source == QLatin1String("P") ? 2 : 0);
    sbtEndeClie->setEnabled(cbbEndeCliente->currentIndex() > 0 && Situation() == FieldCode(TQuoteSituation::Pending));
    if (TdtmDBGeral::IsOpen())
        qryPais->Open();
}

void TfrmInfoOrca::dtsPadraoStateChange()
{
    TfrmPadraoSimples::dtsPadraoStateChange();
    for (TButtonFlat* b : {sbtIncluir, sbtExcluir, sbtProcurar, sbtVerificar, sbtImprimir})
        b->setEnabled(false);
    for (auto [item, button] : {std::pair{mnuIncluir, sbtIncluir}, {mnuExcluir, sbtExcluir}, {mnuProcurar, sbtProcurar},
                                {mnuVerificar, sbtVerificar}, {mnuImprimir, sbtImprimir}, {mnuConfImpressora, sbtImprimir}})
        Follow(item, button);
    if (!sbtCadClie)
        return;   // still being built
    const bool browsing = dtsPadrao->State() == dsBrowse;
    sbtCadClie->setEnabled(Situation() == FieldCode(TQuoteSituation::Approved) && browsing);
    Follow(mnuCadClie, sbtCadClie);
    sbtCadProd->setEnabled(Situation() == FieldCode(TQuoteSituation::Pending) && browsing);
    Follow(mnuCadProd, sbtCadProd);
}

void TfrmInfoOrca::cdsEndContOrcaBeforePost()
{
    Vd_Endereco(true);
    Vd_Pais(true);
    Vd_Estado(true);
    Vd_Municipio(true);
    Vd_Bairro(false);
    const int entry = cbbEndeCliente->currentIndex();
    cdsEndContOrca->FieldByName(QStringLiteral("IDENDENTOREV"))
        ->SetAsString(entry == 0 ? QStringLiteral("T") : entry == 1 ? QStringLiteral("C") : QStringLiteral("P"));
}

void TfrmInfoOrca::cdsEndContOrcaAfterPost()
{
    TfrmProcOrca* processing = Processing();
    auto call = [](TNetConnection* net, const char* method, const QVariantList& args) {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        CheckResultServ(net->Call(QString::fromLatin1(method), args));
    };
    const TClientDataSet& record = *cdsEndContOrca;
    if (record.ChangeCount() > 0)
        call(processing->closing->netFechamento, "SetClieContratante",
             {record.Text(u"CDCLICONTORC"_s), record.Text(u"CDFILIAL"_s), record.Text(u"NRORCAEVENTO"_s)});
    if (record.ChangeCount() > 0 && Situation() == FieldCode(TQuoteSituation::Pending))
        call(processing->approval->netAprovacao, "SetEndCliente", DeliveryAddress());
    cdsEndContOrca->MergeChangeLog();
}

// The record's delivery address, as SetEndCliente takes it.
QVariantList TfrmInfoOrca::DeliveryAddress() const
{
    const TClientDataSet& record = *cdsEndContOrca;
    QVariantList address(SetEndClienteArg::Count);
    address[SetEndClienteArg::Branch] = record.Text(u"CDFILIAL"_s);
    address[SetEndClienteArg::Number] = record.Text(u"NRORCAEVENTO"_s);
    address[SetEndClienteArg::Sequence] = record.Text(u"NRSEQORCAEVE"_s);
    address[SetEndClienteArg::Address] = record.Text(u"DSENDENTOREV"_s);
    address[SetEndClienteArg::Country] = record.Text(u"CDPAIS"_s);
    address[SetEndClienteArg::State] = record.Text(u"SGESTADO"_s);
    address[SetEndClienteArg::City] = record.Text(u"CDMUNICIPIO"_s);
    address[SetEndClienteArg::District] = record.Text(u"CDBAIRRO"_s);
    address[SetEndClienteArg::Reference] = record.Text(u"DSREFENDOREV"_s);
    address[SetEndClienteArg::AddressKind] = record.Text(u"IDENDENTOREV"_s);
    address[SetEndClienteArg::Complement] = record.Text(u"DSCOMPENDORCEVE"_s);
    return address;
}

void TfrmInfoOrca::FormClose()
{
    TfrmPadraoSimples::FormClose();
    boIdCriado = false;
}

// ---- registration shortcuts

void TfrmInfoOrca::sbtCadClieClick()
{
    using namespace Cli_ore06400;
    QVariantList key{stCdFili, stNrOrca, stNrSeq};
    const QVariant general = CheckResultServ(Processing()->approval->netAprovacao->CallRef(QStringLiteral("GetGeral"), key));
    cdsEndeNovoClie->SetData(VarElement(general, 7, QStringLiteral("GetGeral")));
    LoadBPL(QStringLiteral("ORE00105"), QVariantList{QString(), QString(), QString(), QString(), true, VarRef(dtsEndeNovoClie), VarRef(dtsInteclieOrev)});
}

void TfrmInfoOrca::sbtCadProdClick()
{
    using namespace Cli_ore06400;
    LoadBPL(QStringLiteral("ORE06700"), QVariantList{stCdFili, stNrOrca, stNrSeq});
}
