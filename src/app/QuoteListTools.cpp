#include "QuoteListTools.h"

#include "ClientDataSet.h"
#include "FieldFormat.h"
#include "QuoteList.h"

#include <QColor>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMap>

#include <algorithm>
#include <limits>

namespace {

// A text as the search compares it: lower case, without accents.
QString Folded(const QString& text)
{
    QString folded;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            folded += c.toLower();
    return folded;
}

QString TextOf(const CellRow& row, int column)
{
    return column < 0 || !std::holds_alternative<QString>(row[size_t(column)]) ? QString() : std::get<QString>(row[size_t(column)]);
}

// Null first, then by value; texts as people sort them.
int Compare(const Cell& a, const Cell& b)
{
    if (CellIsNull(a) || CellIsNull(b))
        return int(!CellIsNull(a)) - int(!CellIsNull(b));
    if (std::holds_alternative<QString>(a) && std::holds_alternative<QString>(b))
        return QString::localeAwareCompare(std::get<QString>(a), std::get<QString>(b));
    auto number = [](const Cell& c) {
        return std::visit([](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, qint64> || std::is_same_v<T, double> || std::is_same_v<T, bool>)
                return double(v);
            return 0;
        }, c);
    };
    const double x = number(a), y = number(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

qint64 MsOfDay(const QDate& day) { return QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch(); }

constexpr const char* kOpenDate = "–";   // the date boxes' text for "no limit"

} // namespace

std::vector<CellRow> SelectQuotes(const TDataPacket& all, const TQuoteQuery& query)
{
    const int number = all.fieldIndex(QStringLiteral("NRORCAEVENTO")), client = all.fieldIndex(QStringLiteral("NMFANTCLIE")),
              title = all.fieldIndex(QStringLiteral("DSTITUORCEVE")), state = all.fieldIndex(QStringLiteral("IDSITUORCEVE")),
              day = all.fieldIndex(QStringLiteral("DTEVENTO")), seller = all.fieldIndex(QStringLiteral("CDVENDEDOR"));
    const QString text = Folded(query.text.trimmed());
    const qint64 from = query.from.isValid() ? MsOfDay(query.from) : std::numeric_limits<qint64>::min();
    const qint64 until = query.to.isValid() ? MsOfDay(query.to.addDays(1)) : std::numeric_limits<qint64>::max();
    const bool byDate = query.from.isValid() || query.to.isValid();

    std::vector<CellRow> rows;
    for (const CellRow& row : all.rows()) {
        if (query.situation > 0 && TextOf(row, state) != QString::number(query.situation))
            continue;
        if (!text.isEmpty() && !TextOf(row, number).contains(text) && !Folded(TextOf(row, client)).contains(text)
            && !Folded(TextOf(row, title)).contains(text))
            continue;
        if (byDate) {
            if (day < 0 || !std::holds_alternative<qint64>(row[size_t(day)]))
                continue;
            const qint64 at = std::get<qint64>(row[size_t(day)]);
            if (at < from || at >= until)
                continue;
        }
        if (!query.salesperson.isEmpty() && TextOf(row, seller) != query.salesperson)
            continue;
        rows.push_back(row);
    }
    // The situation's text sorts by its code, the order of the quote's life.
    const QString sortField = query.sortField.compare(QLatin1String("Situacao"), Qt::CaseInsensitive) == 0 ? QStringLiteral("IDSITUORCEVE") : query.sortField;
    if (const int key = sortField.isEmpty() ? -1 : all.fieldIndex(sortField); key >= 0)
        std::stable_sort(rows.begin(), rows.end(), [&](const CellRow& a, const CellRow& b) {
            const int c = Compare(a[size_t(key)], b[size_t(key)]);
            return query.order == Qt::AscendingOrder ? c < 0 : c > 0;
        });
    return rows;
}

QString QuoteTotals(TClientDataSet& quotes)
{
    const int count = quotes.RecordCount();
    if (count == 0)
        return QStringLiteral("nenhum orçamento encontrado");
    double total = 0;
    if (const TField* value = quotes.FindField(QStringLiteral("VRTOTALORCA")))
        for (int row = 0; row < count; ++row)
            total += quotes.ValueAt(row, value->Index()).toDouble();
    return QStringLiteral("%1 %2 – total R$ %3")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("orçamento") : QStringLiteral("orçamentos"), FormatFloat(QStringLiteral("#,##0.00"), total));
}

QByteArray QuotesCsv(TClientDataSet& shown)
{
    auto cell = [](QString text) {
        if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
            text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        return text;
    };
    QList<int> columns;
    QStringList line;
    for (int i = 0; i < shown.FieldCount(); ++i)
        if (shown.Fields(i)->Visible()) {
            columns << i;
            line << cell(shown.Fields(i)->DisplayLabel());
        }
    QString csv = line.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    for (int row = 0; row < shown.RecordCount(); ++row) {
        line.clear();
        for (int i : columns)
            line << cell(shown.DisplayTextAt(row, i));
        csv += line.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + csv.toUtf8();
}

// ============================================================================ TQuoteFilterBar

TQuoteFilterBar::TQuoteFilterBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("barFiltro"));
    cbbSituacao = new QComboBox(this);
    cbbSituacao->setObjectName(QStringLiteral("cbbSituacao"));
    cbbSituacao->addItem(QStringLiteral("Todas"));
    for (int s = 1; s <= 8; ++s)
        cbbSituacao->addItem(SituationText(s));
    edtPesquisa = new QLineEdit(this);
    edtPesquisa->setObjectName(QStringLiteral("edtPesquisa"));
    edtPesquisa->setPlaceholderText(QStringLiteral("número, cliente ou evento"));
    edtPesquisa->setClearButtonEnabled(true);
    edtPesquisa->setMinimumWidth(edtPesquisa->fontMetrics().horizontalAdvance(edtPesquisa->placeholderText()) + 40);
    auto date = [this](const char* name) {
        auto* box = new QDateEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        box->setCalendarPopup(true);
        box->setMinimumDate(QDate(2000, 1, 1));
        box->setSpecialValueText(QString::fromUtf8(kOpenDate));   // the minimum stands for "no limit"
        box->setDate(box->minimumDate());
        box->setToolTip(QStringLiteral("Data do evento; \"%1\" para não limitar").arg(QString::fromUtf8(kOpenDate)));
        connect(box, &QDateEdit::dateChanged, this, &TQuoteFilterBar::changed);
        return box;
    };
    dtpEventoDe = date("dtpEventoDe");
    dtpEventoAte = date("dtpEventoAte");
    cbbVendedor = new QComboBox(this);
    cbbVendedor->setObjectName(QStringLiteral("cbbVendedor"));
    cbbVendedor->addItem(QStringLiteral("Todos"));
    connect(cbbSituacao, &QComboBox::activated, this, &TQuoteFilterBar::changed);
    connect(cbbVendedor, &QComboBox::activated, this, &TQuoteFilterBar::changed);
    connect(edtPesquisa, &QLineEdit::textChanged, this, &TQuoteFilterBar::changed);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Situação"), this));
    row->addWidget(cbbSituacao);
    row->addWidget(new QLabel(QStringLiteral("Pesquisa"), this));
    row->addWidget(edtPesquisa, 1);
    row->addWidget(new QLabel(QStringLiteral("Evento de"), this));
    row->addWidget(dtpEventoDe);
    row->addWidget(new QLabel(QStringLiteral("até"), this));
    row->addWidget(dtpEventoAte);
    row->addWidget(new QLabel(QStringLiteral("Vendedor"), this));
    row->addWidget(cbbVendedor);
}

void TQuoteFilterBar::SetSalespeople(const TDataPacket& all)
{
    const QString kept = cbbVendedor->currentData().toString();
    const int code = all.fieldIndex(QStringLiteral("CDVENDEDOR")), name = all.fieldIndex(QStringLiteral("NMFANVEN"));
    QMap<QString, QString> people;   // name -> code, in the order of the names
    for (const CellRow& row : all.rows())
        if (const QString c = TextOf(row, code); !c.isEmpty())
            people.insert(TextOf(row, name).isEmpty() ? c : TextOf(row, name), c);
    cbbVendedor->clear();
    cbbVendedor->addItem(QStringLiteral("Todos"));
    for (auto it = people.cbegin(); it != people.cend(); ++it)
        cbbVendedor->addItem(it.key(), it.value());
    cbbVendedor->setCurrentIndex(std::max(0, cbbVendedor->findData(kept)));
}

TQuoteQuery TQuoteFilterBar::Query() const
{
    TQuoteQuery q;
    q.situation = cbbSituacao->currentIndex();
    q.text = edtPesquisa->text();
    auto day = [](const QDateEdit* box) { return box->date() == box->minimumDate() ? QDate() : box->date(); };
    q.from = day(dtpEventoDe);
    q.to = day(dtpEventoAte);
    q.salesperson = cbbVendedor->currentData().toString();
    return q;
}

// ============================================================================ TSituationColours

TSituationColours::TSituationColours(const TClientDataSet* quotes, QObject* parent) : QIdentityProxyModel(parent), m_quotes(quotes) {}

QVariant TSituationColours::data(const QModelIndex& index, int role) const
{
    if (role != Qt::BackgroundRole && role != Qt::ForegroundRole)
        return QIdentityProxyModel::data(index, role);
    auto& quotes = const_cast<TClientDataSet&>(*m_quotes);
    const TField* state = quotes.FindField(QStringLiteral("IDSITUORCEVE"));
    if (!state || !index.isValid() || index.row() >= quotes.RecordCount())
        return {};
    // Pale tones, one per stage of the quote's life; cancelled and ended ones recede.
    static const char* const backgrounds[] = {"#fff4d6", "#e1edfc", "#e0f2e3", "#d9f0ee", "#d9f0ee", "#eceff1", "#eceff1", "#fbe3e3"};
    const int situation = quotes.ValueAt(index.row(), state->Index()).toString().toInt();
    if (situation < 1 || situation > 8)
        return {};
    if (role == Qt::ForegroundRole)
        return situation >= 7 ? QVariant(QColor(QStringLiteral("#5f6368"))) : QVariant();
    return QColor(QString::fromLatin1(backgrounds[situation - 1]));
}
