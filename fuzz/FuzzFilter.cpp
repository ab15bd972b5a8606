// Fuzz target: a dataset's filter expression, as an operator or a form may write it.
//
// What must hold for any input: the expression is applied, or refused with EDataSetError
// (never a crash, never another exception); a refused filter leaves the dataset showing
// every record.
#include "ClientDataSet.h"
#include "Errors.h"

#include <QDate>
#include <QDateTime>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

TClientDataSet& Quotes()
{
    static TClientDataSet* dataSet = [] {
        auto* d = new TClientDataSet;
        d->DefineFields({{.name = QStringLiteral("CDFILIAL"), .type = TFieldType::FixedString, .size = 4},
                         {.name = QStringLiteral("NMCLIENTE"), .type = TFieldType::String, .size = 40},
                         {.name = QStringLiteral("QTCONVIDADOS"), .type = TFieldType::Integer},
                         {.name = QStringLiteral("VRTOTAL"), .type = TFieldType::Float},
                         {.name = QStringLiteral("IDATIVO"), .type = TFieldType::Boolean},
                         {.name = QStringLiteral("DTEVENTO"), .type = TFieldType::Date},
                         {.name = QStringLiteral("DTHRINICIO"), .type = TFieldType::DateTime}});
        d->CreateDataSet();
        const struct {
            const char* branch;
            const char* client;
            int guests;
            double total;
            bool active;
        } rows[] = {{"0001", "O'Brien", 120, 1500.5, true}, {"0002", "Ana", 0, 0, false}, {"0001", "", -3, -1e9, true}};
        for (const auto& row : rows) {
            d->Append();
            d->FieldByName(QStringLiteral("CDFILIAL"))->SetAsString(QString::fromUtf8(row.branch));
            d->FieldByName(QStringLiteral("NMCLIENTE"))->SetAsString(QString::fromUtf8(row.client));
            d->FieldByName(QStringLiteral("QTCONVIDADOS"))->SetAsInteger(row.guests);
            d->FieldByName(QStringLiteral("VRTOTAL"))->SetAsFloat(row.total);
            d->FieldByName(QStringLiteral("IDATIVO"))->SetAsBoolean(row.active);
            d->FieldByName(QStringLiteral("DTEVENTO"))->SetAsDateTime(QDateTime(QDate(2026, 12, 24), {}));
            d->FieldByName(QStringLiteral("DTHRINICIO"))->SetAsDateTime(QDateTime(QDate(2026, 12, 24), QTime(20, 0)));
            d->Post();
        }
        d->First();
        return d;
    }();
    return *dataSet;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TClientDataSet& quotes = Quotes();
    const int all = quotes.RecordCount();
    const QString expression = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        quotes.SetFilter(expression);
        quotes.SetFiltered(true);
        for (quotes.First(); !quotes.Eof(); quotes.Next()) {
        }
        if (quotes.RecordCount() > all) {
            std::fprintf(stderr, "fuzz_filter: a filter showed more records than there are\n");
            std::abort();
        }
    } catch (const EDataSetError&) {
        // Refused before the dataset was filtered: every record still shows.
        if (quotes.RecordCount() != all) {
            std::fprintf(stderr, "fuzz_filter: a refused filter hid records\n");
            std::abort();
        }
    }
    quotes.SetFiltered(false);
    quotes.SetFilter({});
    return 0;
}
