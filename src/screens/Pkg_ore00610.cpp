// Screen ORE00610: a read-only listing of the dataset it is handed by reference, under a header,
// with the dataset's visible fields, labels and display texts (GetText events included).
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "ScreenKit.h"
#include "Variants.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

class TfrmORE00610 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE00610(const QVariant& params) : TScreenForm(QStringLiteral("Listagem"), QStringLiteral("ORE00610"))
    {
        dtsListagem.SetDataSet(VarDeref<TClientDataSet>(Param(params, 0), "dataset da listagem"));
        auto* header = new QLabel(Param(params, 1).toString(), this);
        header->setObjectName(QStringLiteral("lblCabecalho"));
        header->setWordWrap(true);
        auto* grid = new QTableView(this);
        grid->setObjectName(QStringLiteral("grdListagem"));
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->setModel(&model);
        grid->horizontalHeader()->setStretchLastSection(true);
        AddWidget(grid);
        AddWidget(header);
        AddButton("btnFechar", QStringLiteral("Fechar"), [this] { Close(); });
        resize(640, 360);
    }

    TDataSource dtsListagem{this, QStringLiteral("dtsListagem")};
    TDataSetModel model{&dtsListagem, this};
};

extern "C" void IniProc(QVariant Params)
{
    TfrmORE00610 form(Params);
    form.ShowModal();
}

#include "Pkg_ore00610.moc"
