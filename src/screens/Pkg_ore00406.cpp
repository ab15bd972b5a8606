// Screen ORE00406: a new payment proposal for the quote, which becomes its newest.
#include "Dialogs.h"
#include "ScreenKit.h"
#include "WireContract.h"

#include <QDate>
#include <QLineEdit>

class TfrmORE00406 : public TScreenForm {
    Q_OBJECT
public:
    TfrmORE00406(const QVariant& params) : TScreenForm(QStringLiteral("Proposta de Pagamento"), QStringLiteral("ORE00406"))
    {
        m_key = {Param(params, 0), Param(params, 1), Param(params, 2)};
        // The event's date is the default limit of the first due date.
        const QString event = Param(params, 3).toString().left(10);
        edtJuros = AddEdit("edtJuros", QStringLiteral("% de juros"), QStringLiteral("0"));
        edtParcelas = AddEdit("edtParcelas", QStringLiteral("Parcelas"), QStringLiteral("1"));
        edtValorParcela = AddEdit("edtValorParcela", QStringLiteral("Valor da parcela"));
        edtEntrada = AddEdit("edtEntrada", QStringLiteral("Entrada"), QStringLiteral("0"));
        edtPrimVenc = AddEdit("edtPrimVenc", QStringLiteral("Primeiro vencimento"), event);
        AddButton("btnGravar", QStringLiteral("Gravar"), [this] { Gravar(); });
        AddButton("btnCancelar", QStringLiteral("Cancelar"), [this] { Close(); });
    }

private:
    static double Number(const QLineEdit* box, const QString& label)
    {
        bool ok = false;
        const double value = QString(box->text()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (!ok)
            StopWithError(QStringLiteral("%1: \"%2\" não é um número.").arg(label, box->text()));
        return value;
    }

    void Gravar()
    {
        const QDate due = QDate::fromString(edtPrimVenc->text().trimmed(), QStringLiteral("dd/MM/yyyy"));
        if (!due.isValid())
            StopWithError(QStringLiteral("Primeiro vencimento: \"%1\" não é uma data dd/mm/aaaa.").arg(edtPrimVenc->text()));
        const QString number = CallServer(ServerObject::Proposta, QStringLiteral("GravaProposta"),
                                          {m_key[0], m_key[1], m_key[2], Number(edtJuros, QStringLiteral("Juros")),
                                           Number(edtParcelas, QStringLiteral("Parcelas")), Number(edtValorParcela, QStringLiteral("Valor da parcela")),
                                           Number(edtEntrada, QStringLiteral("Entrada")), due})
                                   .toString();
        MessageDlg(QStringLiteral("Proposta %1 gravada.").arg(number), mtInformation, mbOK, 0);
        Close();
    }

    QVariantList m_key;
    QLineEdit *edtJuros, *edtParcelas, *edtValorParcela, *edtEntrada, *edtPrimVenc;
};

extern "C" void IniProc(QVariant Params)
{
    TfrmORE00406 form(Params);
    form.ShowModal();
}

#include "Pkg_ore00406.moc"
