// Screen ORE09000: the quote's contracting clients: listed, added or changed, removed.
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "ScreenKit.h"
#include "WireContract.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

using namespace Qt::StringLiterals;

class TfrmORE09000 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE09000(const QVariant& params) : TScreenForm(QStringLiteral("Contratantes do Orçamento"), QStringLiteral("ORE09000"))
    {
        m_key = {Param(params, 0), Param(params, 1), Param(params, 2)};
        cdsContratante.DefineFields({
            {.name = u"CDCLIENCONTORCA"_s, .type = TFieldType::String, .size = 21, .displayLabel = u"Cliente"_s},
            {.name = u"NMFANTCLIE"_s, .type = TFieldType::String, .size = 50, .displayLabel = u"Nome"_s},
            {.name = u"QTCONVCONTOREV"_s, .type = TFieldType::Float, .displayLabel = u"Convidados"_s, .displayFormat = u"0"_s},
            {.name = u"VRRECECONTOREV"_s, .type = TFieldType::Float, .displayLabel = u"Valor"_s, .displayFormat = u"#,##0.00"_s},
            {.name = u"IDFORMAPGCONT"_s, .type = TFieldType::String, .size = 1, .displayLabel = u"Forma de pagamento"_s},
        });
        auto* grid = new QTableView(this);
        grid->setObjectName(QStringLiteral("grdContratantes"));
        grid->setModel(new TDataSetModel(&dtsContratante, grid));
        grid->horizontalHeader()->setStretchLastSection(true);
        AddWidget(grid);
        edtCliente = AddEdit("edtCliente", QStringLiteral("Cliente"));
        edtConvidados = AddEdit("edtConvidados", QStringLiteral("Convidados"), QStringLiteral("0"));
        edtValor = AddEdit("edtValor", QStringLiteral("Valor"), QStringLiteral("0"));
        edtFormaPgto = AddEdit("edtFormaPgto", QStringLiteral("Forma de pagamento"), QStringLiteral("B"));
        AddButton("btnGravar", QStringLiteral("Gravar"), [this] {
            CallServer(kObject, QStringLiteral("GravaContratante"),
                       m_key + QVariantList{edtCliente->text().trimmed(), edtConvidados->text().replace(QLatin1Char(','), QLatin1Char('.')),
                                            edtValor->text().replace(QLatin1Char(','), QLatin1Char('.')), edtFormaPgto->text()});
            Refresh();
        });
        AddButton("btnExcluir", QStringLiteral("Excluir"), [this] {
            CallServer(kObject, QStringLiteral("ExcluiContratante"), m_key + QVariantList{edtCliente->text().trimmed()});
            Refresh();
        });
        AddButton("btnFechar", QStringLiteral("Fechar"), [this] { Close(); });
        Refresh();
        resize(640, 420);
    }

private:
    void Refresh() { cdsContratante.SetData(CallServer(kObject, QStringLiteral("ListaContratantes"), m_key)); }

    const QString kObject = ServerObject::Contratante;
    QVariantList m_key;
    TClientDataSet cdsContratante{this, QStringLiteral("cdsContratante")};
    TDataSource dtsContratante{this, QStringLiteral("dtsContratante"), &cdsContratante};
    QLineEdit *edtCliente, *edtConvidados, *edtValor, *edtFormaPgto;
};

extern "C" void IniProc(QVariant Params)
{
    TfrmORE09000 form(Params);
    form.ShowModal();
}

#include "Pkg_ore09000.moc"
