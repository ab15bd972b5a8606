// Loading a data packet into a dataset: 20,000 rows by 30 mixed fields, from the JSON bytes
// of a remote answer to a dataset ready to browse. Beside it, the floors: parsing the same
// bytes with the JSON parser alone, and copying them. Then dates that come as text (a text
// column loaded into date-time fields): 10,000 rows, in the stored and in the display forms.
#include "ClientDataSet.h"
#include "BenchSupport.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int Rows = 20000;
constexpr int Fields = 30;
constexpr int DateRows = 10000;

TDataPacket makePacket()
{
    static const TFieldType kinds[] = {TFieldType::String,  TFieldType::String, TFieldType::Float,   TFieldType::Integer, TFieldType::String,
                                       TFieldType::Date,    TFieldType::Float,  TFieldType::String,  TFieldType::DateTime, TFieldType::Boolean};
    QList<TPacketField> fields;
    for (int f = 0; f < Fields; ++f)
        fields.append({QStringLiteral("CAMPO%1").arg(f, 2, 10, QLatin1Char('0')), kinds[f % 10], kinds[f % 10] == TFieldType::String ? 30 : 0});
    std::vector<CellRow> rows;
    rows.reserve(Rows);
    for (int r = 0; r < Rows; ++r) {
        CellRow row;
        for (int f = 0; f < Fields; ++f) {
            switch (fields[f].type) {
            case TFieldType::String: row.push_back(QStringLiteral("Texto %1 da linha").arg((r * 31 + f) % 9973)); break;
            case TFieldType::Float: row.push_back(double((r * 7919 + f) % 100000) / 100.0); break;
            case TFieldType::Integer: row.push_back(qint64(r * Fields + f)); break;
            case TFieldType::Date: row.push_back(qint64(QDate(2026, 1, 1).toJulianDay() + r % 700)); break;
            case TFieldType::DateTime: row.push_back(qint64(1767225600000LL + qint64(r) * 60000)); break;
            case TFieldType::Boolean: row.push_back(r % 3 == 0); break;
            default: row.push_back(Cell{}); break;
            }
        }
        rows.push_back(std::move(row));
    }
    return TDataPacket(fields, std::move(rows));
}

// 10,000 rows whose dates are texts: stored date-times, and display dates with their time.
TDataPacket datesAsText()
{
    const QList<TPacketField> fields{{QStringLiteral("DTEVENTO"), TFieldType::String, 0}, {QStringLiteral("DTINCL"), TFieldType::String, 0}};
    std::vector<CellRow> rows;
    for (int r = 0; r < DateRows; ++r) {
        const QDate day = QDate(2026, 1, 1).addDays(r % 700);
        rows.push_back({day.toString(QStringLiteral("yyyy-MM-ddT20:00:00")), day.toString(QStringLiteral("dd/MM/yyyy 19:30"))});
    }
    return TDataPacket(fields, std::move(rows));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const TDataPacket packet = makePacket();
    const QByteArray json = Wire::Encode(QVariant::fromValue(packet));
    const double mb = double(json.size()) / 1e6;

    TClientDataSet ds(nullptr, QStringLiteral("cdsBench"));
    std::vector<TFieldDef> defs;
    for (const auto& f : packet.fields())
        defs.push_back({f.name, f.type, f.size});
    ds.DefineFields(defs);

    const double load = bestSeconds(5, [&] { ds.SetData(Wire::Decode(json)); });
    if (ds.RecordCount() != Rows)
        return 1;
    // The parser as the codec runs it: in place, on a private copy of the bytes.
    const double parse = bestSeconds(5, [&] {
        QByteArray copy(json.constData(), json.size());
        rapidjson::Document doc;
        doc.ParseInsitu<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseIterativeFlag>(copy.data());
    });
    std::vector<char> target(size_t(json.size()));
    const double copy = bestSeconds(20, [&] {
        std::memcpy(target.data(), json.constData(), size_t(json.size()));
        asm volatile("" : : "r"(target.data()) : "memory");
    });

    std::printf("packet: %d rows x %d fields, %.1f MB of JSON\n", Rows, Fields, mb);
    std::printf("  load into dataset : %8.1f MB/s  %10.0f rows/s  %6.1f ns/cell\n", mb / load, Rows / load, load * 1e9 / (Rows * Fields));
    std::printf("  parse only        : %8.1f MB/s  (RapidJSON, in place)\n", mb / parse);
    std::printf("  memcpy            : %8.1f MB/s\n", mb / copy);

    const QVariant dates = QVariant::fromValue(datesAsText());
    TClientDataSet dateSet(nullptr, QStringLiteral("cdsDatas"));
    dateSet.DefineFields({{QStringLiteral("DTEVENTO"), TFieldType::DateTime}, {QStringLiteral("DTINCL"), TFieldType::DateTime}});
    const double dateLoad = bestSeconds(5, [&] { dateSet.SetData(dates); });
    if (dateSet.RecordCount() != DateRows)
        return 1;
    std::printf("dates as text: %d rows x 2 date-time fields\n", DateRows);
    std::printf("  load into dataset : %10.0f rows/s  %6.1f ns/date\n", DateRows / dateLoad, dateLoad * 1e9 / (DateRows * 2));
    return 0;
}
