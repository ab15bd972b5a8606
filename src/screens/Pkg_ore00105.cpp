// Screen ORE00105: client registration. Works on the new client's record of the data source it
// is handed (changes go back into it), registers the client on the server and, when it was
// given a quote key, links the quote to the new client.
#include "ClientDataSet.h"
#include "Components.h"
#include "Crv_msg.h"
#include "Errors.h"
#include "Dialogs.h"
#include "ScreenKit.h"
#include "Variants.h"
#include "WireContract.h"

using namespace Qt::StringLiterals;

class TfrmORE00105 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE00105(const QVariant& params) : TScreenForm(QStringLiteral("Cadastro de Cliente"), QStringLiteral("ORE00105"))
    {
        m_key = {Param(params, 1).toString(), Param(params, 2).toString(), Param(params, 3).toString()};
        m_source = VarDeref<TDataSource>(Param(params, 5), "fonte de dados do novo cliente");
        TClientDataSet* client = m_source->DataSet();
        if (!client || !client->Active())
            throw EHostError(QStringLiteral("ORE00105: a fonte de dados do novo cliente não tem dados abertos."));
        if (client->IsEmpty())
            client->Append();
        const std::pair<const char*, const char*> boxes[] = {
            {"NRINSJURORCA", "Inscrição (CNPJ/CPF)"}, {"IDTPINJUORCA", "Tipo (J ou F)"}, {"NMRAZSOCCLIE", "Razão social"},
            {"NMFANTCLIE", "Nome fantasia"},          {"DSENDECLIORE", "Endereço"},       {"DSCOENDCLORE", "Complemento"},
            {"CDPAIS", "País"},                       {"SGESTADO", "Estado"},             {"CDMUNICIPIO", "Município"},
            {"CDBAIRRO", "Bairro"},
        };
        for (const auto& [field, label] : boxes) {
            auto* box = new TDBEdit(clientArea(), QStringLiteral("dbe") + QString::fromLatin1(field));
            box->SetDataSource(m_source);
            box->SetDataField(QString::fromLatin1(field));
            AddRow(QString::fromUtf8(label), box);
        }
        AddButton("btnCadastrar", QStringLiteral("Cadastrar"), [this] { Cadastrar(); });
        AddButton("btnCancelar", QStringLiteral("Cancelar"), [this] {
            m_source->DataSet()->Cancel();
            Close();
        });
    }

private:
    void Cadastrar()
    {
        TClientDataSet* c = m_source->DataSet();
        if (c->State() == dsEdit || c->State() == dsInsert)
            c->Post();
        const QString code = CallServer(ServerObject::Cliente, QStringLiteral("CadastraCliente"),
                                        {m_key[0], m_key[1], m_key[2], c->Text(u"IDTPINJUORCA"_s), c->Text(u"NRINSJURORCA"_s),
                                         c->Text(u"NMRAZSOCCLIE"_s), c->Text(u"NMFANTCLIE"_s), c->Text(u"DSENDECLIORE"_s), c->Text(u"DSCOENDCLORE"_s),
                                         c->Text(u"CDPAIS"_s), c->Text(u"SGESTADO"_s), c->Text(u"CDMUNICIPIO"_s), c->Text(u"CDBAIRRO"_s)})
                                 .toString();
        MessageDlg(QStringLiteral("Cliente %1 cadastrado.").arg(code), mtInformation, mbOK, 0);
        Close();
    }

    QStringList m_key;
    TDataSource* m_source;
};

extern "C" void IniProc(QVariant Params)
{
    TfrmORE00105 form(Params);
    form.ShowModal();
}

#include "Pkg_ore00105.moc"
