// The information dialog's delivery address: its sources, the checks of the address line and
// of the location levels, their searches, and the emptying of the levels below a change.
#include "Cli_ore06400.h"
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
#include "TextRoutines.h"
#include "TfrmInfoOrca.h"
#include "Approval.h"
#include "QuoteContext.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

#include <QApplication>
#include <utility>

using namespace Qt::StringLiterals;
using Cli_ore06400::TQuoteSituation;

namespace {

// What each source gives the record, column by column: unregistered client, registered
// client, an address of the client chosen in the search, a hall.
struct CopyRule {
    const char* target;
    const char* from[4];
    bool cutTo50;   // the reference point of a source is longer than the record's
};
const CopyRule kCopy[] = {
    {"DSENDENTOREV", {"DSENDECLIORE", "DSENDECLIE", "DSENDECLIE", "DSENDSALAOEV"}, false},
    {"CDPAIS", {"CDPAIS", "CDPAIS", "CDPAIS", "CDPAIS"}, false},
    {"SGESTADO", {"SGESTADO", "SGESTADO", "SGESTADO", "SGESTADO"}, false},
    {"CDMUNICIPIO", {"CDMUNICIPIO", "CDMUNICIPIO", "CDMUNICIPIO", "CDMUNICIPIO"}, false},
    {"CDBAIRRO", {"CDBAIRRO", "CDBAIRRO", "CDBAIRRO", "CDBAIRRO"}, false},
    {"DSREFENDOREV", {"DSPTOREFEORE", "DSPTOREFECLI", "DSPTOREFECLI", "DSPTOREFESAL"}, true},
    {"NMPAIS", {"NMPAIS", "NMPAIS", "NMPAIS", "NMPAIS"}, false},
    {"NMMUNICIPIO", {"NMMUNICIPIO", "NMMUNICIPIO", "NMMUNICIPIO", "NMMUNICIPIO"}, false},
    {"NMBAIRRO", {"NMBAIRCLIORE", "NMBAIRRO", "NMBAIRRO", "NMBAIRRO"}, false},
    {"DSCOMPENDORCEVE", {"DSCOENDCLORE", "DSCOMPENDCLI", "DSCOMPENDCLI", "DSCOMPENDSAL"}, false},
};

// Runs `step` with the change handlers of the code boxes off, on again on every way out.
template <class Step>
void WithoutChangeHandlers(bool& attached, Step step)
{
    attached = false;
    struct Reattach {
        bool& flag;
        ~Reattach() { flag = true; }
    } reattach{attached};
    step();
}

} // namespace

QString TfrmInfoOrca::ClientCode() const
{
    return Processing()->quote->cdsOrcaEvento->Text(u"CDCLIENTE"_s);
}

void TfrmInfoOrca::CopyAddress(TClientDataSet* from, Source source)
{
    for (const CopyRule& rule : kCopy) {
        QString value = from->FieldByName(QString::fromLatin1(rule.from[source]))->AsString();
        if (rule.cutTo50 && source != ClientAddress)
            value = value.left(50);
        cdsEndContOrca->FieldByName(QString::fromLatin1(rule.target))->SetAsString(value);
    }
    edtPaisNorm->setText(from->Text(u"NMPAIS"_s));
    edtCdMuniClie->setText(from->Text(u"NMMUNICIPIO"_s));
    edtCdBairClie->setText(from->FieldByName(source == UnregisteredClient ? QStringLiteral("NMBAIRCLIORE") : QStringLiteral("NMBAIRRO"))->AsString());
}

void TfrmInfoOrca::cbbEndeClienteClick()
{
    EnsureEditing();
    EnderecoDoCliente();
    sbtEndeClie->setEnabled(cbbEndeCliente->currentIndex() > 0 && Situation() == FieldCode(TQuoteSituation::Pending));
}

void TfrmInfoOrca::EnderecoDoCliente()
{
    WithoutChangeHandlers(m_changeHandlers, [this] {
        if (!Editing()) {
            edtPaisNorm->setText(cdsEndContOrca->Text(u"NMPAIS"_s));
            edtCdMuniClie->setText(cdsEndContOrca->Text(u"NMMUNICIPIO"_s));
            edtCdBairClie->setText(cdsEndContOrca->Text(u"NMBAIRRO"_s));
            return;
        }
        TfrmProcOrca* processing = Processing();
        auto key = [this] {
            return QVariantList{cdsEndContOrca->Text(u"CDFILIAL"_s), cdsEndContOrca->Text(u"NRORCAEVENTO"_s), cdsEndContOrca->Text(u"NRSEQORCAEVE"_s)};
        };
        switch (cbbEndeCliente->currentIndex()) {
        case 1:
            if (ClientCode().isEmpty()) {
                if (processing->quote->cdsEndeNovoClie->Active() && processing->quote->cdsEndeNovoClie->ChangeCount() != 0)
                    return;   // the new client's data being edited stays as it is
                processing->quote->cdsEndeNovoClie->SetData(
                    VarElement(CheckResultServ(processing->approval->netAprovacao->Call(QStringLiteral("GetGeral"), key())), 7, QStringLiteral("GetGeral")));
                CopyAddress(processing->quote->cdsEndeNovoClie, UnregisteredClient);
            } else {
                cdsCliente->SetData(CheckResultServ(processing->approval->netAprovacao->Call(QStringLiteral("GetCliente"), {ClientCode()})));
                CopyAddress(cdsCliente, RegisteredClient);
            }
            return;
        case 2:
            cdsEndSalao->SetData(CheckResultServ(processing->approval->netAprovacao->Call(QStringLiteral("GetEndSalao"), key())));
            if (cdsEndSalao->IsEmpty()) {
                LimpaEndereco();
                StopWithError(MsgAprov("N_Salao_Nao_Cad"));
            }
            if (Pesquisar(dtsEndSalao, msgPadrao->Msg(QStringLiteral("SALAO")) + QLatin1Char('|') + msgPadrao->Msg(QStringLiteral("SALAO_VAZIO")), false, true))
                CopyAddress(cdsEndSalao, Hall);
            return;
        default:
            LimpaEndereco();
        }
    });
}

void TfrmInfoOrca::LimpaEndereco()
{
    for (const char* field : {"DSENDENTOREV", "CDPAIS", "SGESTADO", "CDMUNICIPIO", "CDBAIRRO", "DSREFENDOREV", "DSCOMPENDORCEVE"})
        cdsEndContOrca->FieldByName(QString::fromLatin1(field))->SetAsString(QString());
    for (QLineEdit* box : {static_cast<QLineEdit*>(dbePaisNorm), static_cast<QLineEdit*>(dbeCdMuniClie), static_cast<QLineEdit*>(dbeCdBairClie),
                           edtPaisNorm, edtCdMuniClie, edtCdBairClie})
        box->setText(QString());
}

void TfrmInfoOrca::sbtEndeClieBeforePesq(QObject*, bool&)
{
    const int entry = cbbEndeCliente->currentIndex();
    if (entry == 1) {
        dtsEndeCliSal->SetDataSet(cdsEndeClie);
        sbtEndeClie->Title = MsgAprov("End_Clie");
        sbtEndeClie->EmptyText = MsgAprov("N_End_Clie");
    } else if (entry == 2) {
        dtsEndeCliSal->SetDataSet(cdsEndSalao);
        sbtEndeClie->Title = MsgAprov("End_Salao");
        sbtEndeClie->EmptyText = MsgAprov("N_End_Salao");
    }
    TfrmProcOrca* processing = Processing();
    if (entry == 1)
        cdsEndeClie->SetData(CheckResultServ(processing->approval->netAprovacao->Call(QStringLiteral("GetEndeClie"), {ClientCode()})));
    else if (entry == 2)
        cdsEndSalao->SetData(CheckResultServ(processing->approval->netAprovacao->Call(
            QStringLiteral("GetEndSalao"), {cdsEndContOrca->Text(u"CDFILIAL"_s), cdsEndContOrca->Text(u"NRORCAEVENTO"_s), cdsEndContOrca->Text(u"NRSEQORCAEVE"_s)})));
}

void TfrmInfoOrca::sbtEndeClieAfterPesq(QObject*)
{
    EnsureEditing();
    const int entry = cbbEndeCliente->currentIndex();
    if (entry == 1)
        WithoutChangeHandlers(m_changeHandlers, [this] { CopyAddress(cdsEndeClie, ClientAddress); });
    else if (entry == 2)
        WithoutChangeHandlers(m_changeHandlers, [this] { CopyAddress(cdsEndSalao, Hall); });
}

void TfrmInfoOrca::Vd_Endereco(bool Required)
{
    if (!Editing())
        return;
    try {
        if (dbeEndereco->text().isEmpty() && Required)
            StopWithError(MsgAprov("END_INF"));
    } catch (...) {
        ReturnFocus(dbeEndereco);
        throw;
    }
}

// A box is checked when the operator leaves it, unless the focus is only passing through it on
// its way back to a box whose check failed: that box keeps the operator, as if never left.
void TfrmInfoOrca::OnExit(TDBEdit* box, std::function<void()> check)
{
    connect(box, &TDBEdit::exited, this, [this, check = std::move(check)] {
        if (!m_returningFocus)
            RunHandler(check);
    });
}

void TfrmInfoOrca::ReturnFocus(TDBEdit* box)
{
    const bool wasReturning = std::exchange(m_returningFocus, true);
    box->setFocus();
    m_returningFocus = wasReturning;
}

// The validator family: normalise and store the code, require it, look it up, show the
// table's code and name; on any failure the focus goes back into the box.
void TfrmInfoOrca::Validate(TADOIBQuery* query, TDBEdit* box, const char* field, int width, const QStringList& params, const char* emptyKey,
                            const char* unknownKey, bool required, const char* nameColumn, QLineEdit* nameBox)
{
    if (!Editing())
        return;
    try {
        if (width > 0)
            cdsEndContOrca->FieldByName(QString::fromLatin1(field))->SetAsString(Ajusta(box->text(), width));
        if (box->text().isEmpty()) {
            if (required)
                StopWithError(MsgAprov(emptyKey));
            return;
        }
        query->Close();
        for (const QString& param : params)
            query->ParamByName(param)->SetAsString(cdsEndContOrca->Text(param.mid(2)));
        query->Open();
        if (query->IsEmpty())
            StopWithError(MsgAprov(unknownKey));
        const QString code = query->Text(QString::fromLatin1(field));
        if (nameBox && QLatin1String(field) == QLatin1String("CDPAIS")) {
            nameBox->setText(query->Text(QString::fromLatin1(nameColumn)));
            box->setText(code);
        } else {
            box->setText(code);
            if (nameBox)
                nameBox->setText(query->Text(QString::fromLatin1(nameColumn)));
        }
    } catch (...) {
        ReturnFocus(box);
        throw;
    }
}

void TfrmInfoOrca::Vd_Pais(bool Required)
{
    Validate(qryVd_Pais, dbePaisNorm, "CDPAIS", 4, {QStringLiteral("P_CDPAIS")}, "Pais_Inf", "Pais_Nao_Cad", Required, "NMPAIS", edtPaisNorm);
}

void TfrmInfoOrca::Vd_Estado(bool Required)
{
    Validate(qryVd_Estado, dbeEstado, "SGESTADO", 0, {QStringLiteral("P_CDPAIS"), QStringLiteral("P_SGESTADO")}, "Est_Inf", "Est_Nao_Cad", Required,
             nullptr, nullptr);
}

void TfrmInfoOrca::Vd_Municipio(bool Required)
{
    Validate(qryVd_Municipio, dbeCdMuniClie, "CDMUNICIPIO", 4, {QStringLiteral("P_CDPAIS"), QStringLiteral("P_SGESTADO"), QStringLiteral("P_CDMUNICIPIO")},
             "Muni_Inf", "Muni_Nao_Cad", Required, "NMMUNICIPIO", edtCdMuniClie);
}

void TfrmInfoOrca::Vd_Bairro(bool Required)
{
    Validate(qryVd_Bairro, dbeCdBairClie, "CDBAIRRO", 10,
             {QStringLiteral("P_CDPAIS"), QStringLiteral("P_SGESTADO"), QStringLiteral("P_CDMUNICIPIO"), QStringLiteral("P_CDBAIRRO")}, "BAIRRO_INF",
             "BAIRRO_NAO_CAD", Required, "NMBAIRRO", edtCdBairClie);
}

void TfrmInfoOrca::EmptyBox(TDBEdit* box)
{
    box->setText(QString());
    if (TField* field = box->Field())
        field->Clear();
}

// A level changed by the operator empties the levels below it and the reference point.
void TfrmInfoOrca::LevelChanged(TDBEdit* box, int level)
{
    if (!m_changeHandlers || !Editing() || QApplication::focusWidget() != box)
        return;
    auto clear = [this](const char* field) { cdsEndContOrca->FieldByName(QString::fromLatin1(field))->Clear(); };
    switch (level) {
    case 0:
        edtPaisNorm->clear();
        clear("SGESTADO");
        EmptyBox(dbeEstado);
        [[fallthrough]];
    case 1:
        clear("CDMUNICIPIO");
        edtCdMuniClie->clear();
        clear("CDBAIRRO");
        edtCdBairClie->clear();
        break;
    case 2:
        edtCdMuniClie->clear();
        EmptyBox(dbeCdBairClie);
        edtCdBairClie->clear();
        break;
    case 3:
        edtCdBairClie->clear();
        break;
    }
    EmptyBox(dbePontoRef);
    clear("DSREFENDOREV");
}

void TfrmInfoOrca::SearchLevel(TADOIBQuery* list, const QStringList& params)
{
    list->Close();
    for (qsizetype i = 0; i + 1 < params.size(); i += 2)
        list->ParamByName(params[i])->SetAsString(params[i + 1]);
    list->Open();
}

void TfrmInfoOrca::LevelChosen(TADOIBQuery* list, TDBEdit* box, const char* field, const char* nameColumn, QLineEdit* nameBox)
{
    EnsureEditing();
    // The code first: its box follows the field, and a change there empties the levels below and
    // the old name; the chosen name is shown after that.
    const QString code = list->Text(QString::fromLatin1(field));
    cdsEndContOrca->FieldByName(QString::fromLatin1(field))->SetAsString(code);
    box->setText(code);
    if (nameBox)
        nameBox->setText(list->Text(QString::fromLatin1(nameColumn)));
}
