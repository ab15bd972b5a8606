// Screen ORE06700: the quote's items without a registered product, each linked to an existing
// product or to a new one.
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "Dialogs.h"
#include "ScreenKit.h"
#include "WireContract.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

class TfrmORE06700 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE06700(const QVariant& params) : TScreenForm(QStringLiteral("Cadastro de Produtos do Orçamento"), QStringLiteral("ORE06700"))
    {
        m_key = {Param(params, 0), Param(params, 1), Param(params, 2)};
        auto* grid = new QTableView(this);
        grid->setObjectName(QStringLiteral("grdItens"));
        grid->setModel(new TDataSetModel(&dtsItens, grid));
        grid->horizontalHeader()->setStretchLastSection(true);
        AddWidget(grid);
        edtItem = AddEdit("edtItem", QStringLiteral("Item"));
        edtProduto = AddEdit("edtProduto", QStringLiteral("Produto existente"));
        edtNome = AddEdit("edtNome", QStringLiteral("Novo produto: nome"));
        edtUnidade = AddEdit("edtUnidade", QStringLiteral("Unidade"), QStringLiteral("UN"));
        edtDepto = AddEdit("edtDepto", QStringLiteral("Departamento (P ou M)"));
        edtPreco = AddEdit("edtPreco", QStringLiteral("Preço"), QStringLiteral("0"));
        AddButton("btnVincular", QStringLiteral("Vincular"), [this] { Link(edtProduto->text().trimmed()); });
        AddButton("btnCriar", QStringLiteral("Criar e vincular"), [this] {
            const QString code = CallServer(kObject, QStringLiteral("CriaProduto"),
                                            {edtNome->text(), edtUnidade->text(), edtDepto->text(), edtPreco->text().replace(QLatin1Char(','), QLatin1Char('.'))})
                                     .toString();
            Link(code);
        });
        AddButton("btnFechar", QStringLiteral("Fechar"), [this] { Close(); });
        Refresh();
        resize(640, 460);
    }

private:
    void Refresh() { cdsItens.SetData(CallServer(kObject, QStringLiteral("ItensSemProduto"), m_key)); }
    void Link(const QString& product)
    {
        CallServer(kObject, QStringLiteral("VinculaProduto"), m_key + QVariantList{edtItem->text().trimmed(), product});
        Refresh();
    }

    const QString kObject = ServerObject::Produto;
    QVariantList m_key;
    TClientDataSet cdsItens{this, QStringLiteral("cdsItens")};
    TDataSource dtsItens{this, QStringLiteral("dtsItens"), &cdsItens};
    QLineEdit *edtItem, *edtProduto, *edtNome, *edtUnidade, *edtDepto, *edtPreco;
};

extern "C" void IniProc(QVariant Params)
{
    TfrmORE06700 form(Params);
    form.ShowModal();
}

#include "Pkg_ore06700.moc"
