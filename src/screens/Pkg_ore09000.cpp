// Screen ORE09000: the quote's contracting clients: listed, added or changed, removed.
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "ScreenKit.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

class TfrmORE09000 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE09000(const QVariant& params) : TScreenForm(QStringLiteral("Contratantes do Orçamento"), QStringLiteral("ORE09000"))
    {
        m_key = {Param(params, 0), Param(params, 1), Param(params, 2)};
        cdsContratante.DefineFields({
            {"CDCLIENCONTORCA", TFieldType::String, 21, fkData, "Cliente"},
            {"NMFANTCLIE", TFieldType::String, 50, fkData, "Nome"},
            {"QTCONVCONTOREV", TFieldType::Float, 0, fkData, "Convidados", true, "0"},
            {"VRRECECONTOREV", TFieldType::Float, 0, fkData, "Valor", true, "#,##0.00"},
            {"IDFORMAPGCONT", TFieldType::String, 1, fkData, "Forma de pagamento"},
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

    const QString kObject = QStringLiteral("ORE09000.rdmContratante");
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
