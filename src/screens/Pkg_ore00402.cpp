// Screen ORE00402: the approval pre-check. Shows the quote; "Interromper" sets the stop flag
// it was handed by reference, "Continuar" lets the approval go on.
#include "ClientDataSet.h"
#include "ScreenKit.h"
#include "Variants.h"
#include "WireContract.h"

#include <QLineEdit>

class TfrmORE00402 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE00402(const QVariant& params) : TScreenForm(QStringLiteral("Pré-aprovação do Orçamento"), QStringLiteral("ORE00402"))
    {
        const QVariantList key{Param(params, 0), Param(params, 1), Param(params, 2)};
        m_stop = VarDeref<bool>(Param(params, 3), "indicador de interrupção");
        TClientDataSet quote, totals;
        quote.SetData(CallServer(ServerObject::ProcOrca, QStringLiteral("GetOrcaEvento"), key));
        totals.SetData(VarElement(CallServer(ServerObject::AprovaOrca, QStringLiteral("GetGeral"), key), 3, QStringLiteral("GetGeral")));
        AddEdit("edtOrcamento", QStringLiteral("Orçamento"), key[0].toString() + QLatin1Char('/') + key[1].toString() + QLatin1Char('/') + key[2].toString(), true);
        AddEdit("edtCliente", QStringLiteral("Cliente"), quote.FieldByName(QStringLiteral("CDCLIENTE"))->AsString(), true);
        AddEdit("edtDataEvento", QStringLiteral("Data do evento"), quote.FieldByName(QStringLiteral("DTEVENTO"))->AsString(), true);
        totals.FieldByName(QStringLiteral("VRTOTALLIQ"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
        totals.FieldByName(QStringLiteral("VRTOTALORCA"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
        AddEdit("edtTotal", QStringLiteral("Total"), totals.FieldByName(QStringLiteral("VRTOTALORCA"))->DisplayText(), true);
        AddEdit("edtTotalLiquido", QStringLiteral("Total líquido"), totals.FieldByName(QStringLiteral("VRTOTALLIQ"))->DisplayText(), true);
        AddButton("btnContinuar", QStringLiteral("Continuar"), [this] { Close(); });
        AddButton("btnInterromper", QStringLiteral("Interromper"), [this] {
            *m_stop = true;
            Close();
        });
    }

private:
    bool* m_stop;
};

extern "C" void IniProc(QVariant Params)
{
    TfrmORE00402 form(Params);
    form.ShowModal();
}

#include "Pkg_ore00402.moc"
