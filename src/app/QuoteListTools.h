#pragma once
// What the quote list offers besides the list itself: the filter bar (situation, search,
// event dates, salesperson), the order the operator clicks in the header, the colour of each
// situation, the count and total of the rows shown, and their export as CSV.

#include "DataPacket.h"

#include <QDate>
#include <QIdentityProxyModel>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLineEdit;
class TClientDataSet;

// What the operator asks of the list.
struct TQuoteQuery {
    int situation = 0;           // 1 to 8; 0: every situation
    QString text;                // in the number, the client's name or the event's title
    QDate from, to;              // the event's day, both inclusive; an invalid date leaves that end open
    QString salesperson;         // CDVENDEDOR; empty: every salesperson
    QString sortField;           // empty: the server's order (by number)
    Qt::SortOrder order = Qt::AscendingOrder;
};

// The rows of `all` that the query lets through, in the query's order. The text is found
// without regard to case or accents; a sort keeps the server's order among equal values.
std::vector<CellRow> SelectQuotes(const TDataPacket& all, const TQuoteQuery& query);

// "12 orçamentos – total R$ 45.600,00", or "nenhum orçamento encontrado".
QString QuoteTotals(TClientDataSet& shown);

// The rows of the dataset as they stand, one line each under the visible fields' labels, in
// their display texts: fields separated by ";", quoted where needed, UTF-8 with its mark,
// so that a spreadsheet in Portuguese opens it as it is.
QByteArray QuotesCsv(TClientDataSet& shown);

// The filter bar above the list.
class TQuoteFilterBar : public QWidget {
    Q_OBJECT
public:
    explicit TQuoteFilterBar(QWidget* parent = nullptr);

    // The salespeople who have quotes in `all`, for the choice (code and name).
    void SetSalespeople(const TDataPacket& all);
    TQuoteQuery Query() const;

    QComboBox* cbbSituacao;
    QLineEdit* edtPesquisa;
    QDateEdit *dtpEventoDe, *dtpEventoAte;
    QComboBox* cbbVendedor;

signals:
    void changed();
};

// The list's rows in the colour of their situation.
class TSituationColours : public QIdentityProxyModel {
    Q_OBJECT
public:
    TSituationColours(const TClientDataSet* quotes, QObject* parent);
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const TClientDataSet* m_quotes;
};
