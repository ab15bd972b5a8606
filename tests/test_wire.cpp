// The wire codec: values, data packets and the JSON-RPC envelopes; and the HTTP framing of calls.
#include "TestSupport.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "HttpFraming.h"
#include "Variants.h"
#include "Wire.h"
#include "WireEnvelopes.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QVariant roundTrip(const QVariant& v) { return Wire::Decode(Wire::Encode(v)); }

TEST(Wire, NullAndUnassignedStayApart)
{
    EXPECT_EQ(Wire::Encode(Null()), "null");
    EXPECT_EQ(Wire::Encode(Unassigned()), R"({"$unassigned":true})");
    EXPECT_TRUE(VarIsNull(roundTrip(Null())));
    EXPECT_TRUE(VarIsEmpty(roundTrip(Unassigned())));
    EXPECT_FALSE(VarIsNull(roundTrip(Unassigned())));
}

TEST(Wire, IntegersAndFloatsKeepTheirKind)
{
    EXPECT_EQ(Wire::Encode(3), "3");
    EXPECT_EQ(Wire::Encode(3.0), "3.0");
    EXPECT_EQ(Wire::Decode("3").metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(Wire::Decode("3.0").metaType().id(), QMetaType::Double);
    EXPECT_EQ(Wire::Decode("3e2").metaType().id(), QMetaType::Double);
    EXPECT_EQ(roundTrip(0.1).toDouble(), 0.1);
    EXPECT_EQ(roundTrip(1.005).toDouble(), 1.005);
    EXPECT_EQ(roundTrip(qlonglong(9007199254740993LL)).toLongLong(), 9007199254740993LL);
}

TEST(Wire, DatesArraysReferencesAndFailures)
{
    const QVariant date = QDate(2026, 12, 10);
    const QVariant stamp = QDateTime(QDate(2026, 12, 10), QTime(19, 30, 5), Qt::UTC);
    EXPECT_EQ(Wire::Encode(date), R"({"$date":"2026-12-10"})");
    EXPECT_EQ(Wire::Encode(stamp), R"({"$datetime":"2026-12-10T19:30:05"})");
    EXPECT_EQ(roundTrip(date).toDate(), QDate(2026, 12, 10));
    EXPECT_EQ(roundTrip(stamp).toDateTime(), stamp.toDateTime());

    bool flag = false;
    const QVariant array = VarArrayOf({QStringLiteral("0001"), Null(), VarArrayOf({1, 2.5}), VarRef(&flag)});
    const QVariantList back = roundTrip(array).toList();
    ASSERT_EQ(back.size(), 4);
    EXPECT_EQ(back[0].toString(), "0001");
    EXPECT_TRUE(VarIsNull(back[1]));
    EXPECT_EQ(back[2].toList().value(1).toDouble(), 2.5);
    EXPECT_EQ(VarDeref<bool>(back[3]), &flag);

    EXPECT_EQ(Wire::Encode(FailResult(QStringLiteral("Sem saldo"))), R"({"$fail":"Sem saldo"})");
    EXPECT_TRUE(VarIsFail(roundTrip(FailResult(QStringLiteral("x")))));
}

TEST(Wire, PacketOfEveryFieldTypeSurvivesTheRoundTrip)
{
    const QList<TPacketField> fields{
        {"CDFILIAL", TFieldType::String, 4},  {"NRSEQORCAEVE", TFieldType::FixedString, 2},
        {"QTPARC", TFieldType::Integer, 0},   {"VRTOTAL", TFieldType::Float, 0},
        {"IDATIVO", TFieldType::Boolean, 0},  {"DTEVENTO", TFieldType::Date, 0},
        {"DTINCL", TFieldType::DateTime, 0},  {"TXOBS", TFieldType::Blob, 0},
    };
    const TDataPacket packet = MakePacket(
        fields, {
                    {QStringLiteral("0001"), QStringLiteral("01"), 12, 1234.56, true, QDate(2026, 1, 31),
                     QDateTime(QDate(2026, 2, 1), QTime(8, 0, 1), Qt::UTC), QByteArray("linha 1\nção\0x", 13)},
                    {Null(), Null(), Null(), Null(), Null(), Null(), Null(), Null()},
                    {QStringLiteral("Ação \"aspas\" \\"), QString(), -7, -0.5, false, QDate(1900, 3, 1),
                     QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59), Qt::UTC), QByteArray()},
                });
    const QByteArray json = Wire::Encode(QVariant::fromValue(packet));
    const QVariant back = Wire::Decode(json);
    ASSERT_TRUE(VarIsPacket(back));
    EXPECT_EQ(back.value<TDataPacket>(), packet) << json.toStdString();
    EXPECT_FALSE(json.contains("states"));

    const TDataPacket changed(fields, packet.rows(), {TRowState::Unchanged, TRowState::Modified, TRowState::Inserted});
    const QByteArray changedJson = Wire::Encode(QVariant::fromValue(changed));
    EXPECT_TRUE(changedJson.contains(R"("states":["unchanged","modified","inserted"])"));
    EXPECT_EQ(Wire::Decode(changedJson).value<TDataPacket>(), changed);
}

// Texts come back as they went however they repeat down a column (always, alternating, in runs,
// never, now and then), alike in their first bytes or not, escaped, accented, empty or long;
// and a text taken from a decoded packet and changed leaves the other cells alone.
TEST(Wire, PacketTextsComeBackWhateverTheirRepetition)
{
    const QList<TPacketField> fields{
        {"CDFILIAL", TFieldType::String, 4},      {"CDPRODUTO", TFieldType::String, 10},  {"NRITEMORCEVE", TFieldType::String, 10},
        {"NRORCAEVENTO", TFieldType::String, 10}, {"CDCLIENTE", TFieldType::String, 21},  {"NMPRODUTO", TFieldType::String, 0},
        {"TXOBS", TFieldType::FixedString, 0},
    };
    const QStringList names{QStringLiteral("Salgados variados"), QStringLiteral("Salgados variados "), QStringLiteral("Salgados variadas"),
                            QStringLiteral("Salgados"), QStringLiteral("Salgado"), QStringLiteral("Ação \"aspas\" \\ e\nlinha"),
                            QString(), QStringLiteral("Doce – pote ½ kg")};
    const QString longText = QString(300, QLatin1Char('x'));
    QList<QVariantList> rows;
    for (int i = 0; i < 8000; ++i) {
        // A client now and then met again: about 4,000 of them, more than a column keeps.
        const int client = i % 2 ? std::max(0, i / 2 - 3) : i / 2;
        rows.append({QStringLiteral("0001"), i % 2 ? QStringLiteral("P001") : QStringLiteral("M003"),
                     QString::number(i).rightJustified(10, QLatin1Char('0')), QString::number(1000 + i / 7).rightJustified(10, QLatin1Char('0')),
                     QStringLiteral("C%1").arg(client), i % 13 == 0 ? Null() : QVariant(names[i % names.size()]),
                     i % 3 ? QVariant(longText) : QVariant(longText + QString::number(i))});
    }
    const TDataPacket packet = MakePacket(fields, rows);
    const QByteArray json = Wire::Encode(QVariant::fromValue(packet));
    for (int pass = 0; pass < 2; ++pass) {   // the second finds the texts the first met
        const TDataPacket back = Wire::Decode(json).value<TDataPacket>();
        ASSERT_EQ(back.rowCount(), 8000);
        EXPECT_TRUE(back == packet);
        EXPECT_EQ(std::get<QString>(back.rows()[5][5]), "Ação \"aspas\" \\ e\nlinha");
    }

    const TDataPacket back = Wire::Decode(json).value<TDataPacket>();
    QString branch = std::get<QString>(back.rows()[1][0]);
    EXPECT_EQ(branch.utf16()[branch.size()], u'\0');
    branch.append(QLatin1Char('X'));
    EXPECT_EQ(branch, "0001X");
    EXPECT_EQ(std::get<QString>(back.rows()[1][0]), "0001");
    EXPECT_EQ(std::get<QString>(back.rows()[2][0]), "0001");
}

// A packet is shared read-only (between threads too): what reads it must never write it. Texts
// met before are cells over the lasting copy (QString::fromRawData), and QString::utf16() on
// such a cell reallocates that very cell, so a read through it would race with another thread's.
TEST(Wire, ReadingAPacketNeverRewritesItsTexts)
{
    const QList<TPacketField> fields{{"CDFILIAL", TFieldType::String, 4}, {"NMPRODUTO", TFieldType::String, 50}, {"TXOBS", TFieldType::FixedString, 20}};
    QList<QVariantList> rows;
    for (int i = 0; i < 50; ++i)
        rows.append({QStringLiteral("0001"), i % 2 ? QStringLiteral("Salgados") : QStringLiteral("Ação ½"), QStringLiteral("obs %1").arg(i % 5)});
    const QByteArray json = Wire::Encode(QVariant::fromValue(MakePacket(fields, rows)));
    Wire::Decode(json);   // the texts are met once; the next decoding shares their lasting copy
    const TDataPacket packet = Wire::Decode(json).value<TDataPacket>();

    std::vector<std::pair<const QString*, const QChar*>> shared;
    for (const CellRow& row : packet.rows())
        for (const Cell& cell : row)
            if (const QString* text = std::get_if<QString>(&cell); text && !text->data_ptr().isMutable())
                shared.emplace_back(text, text->constData());
    ASSERT_FALSE(shared.empty()) << "no text over the lasting copy: the case is not tried";
    QString probe = *shared.front().first;   // what a rewrite looks like, on a copy
    probe.utf16();
    ASSERT_TRUE(probe.data_ptr().isMutable() && probe.constData() != shared.front().second);

    // What the system does with a packet: send it on, compare it, load it into a dataset and
    // read every field, as text and as shown.
    EXPECT_FALSE(Wire::Encode(QVariant::fromValue(packet)).isEmpty());
    EXPECT_TRUE(packet == MakePacket(fields, rows));
    TClientDataSet dataSet;
    dataSet.SetData(QVariant::fromValue(packet));
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next())
        for (const char* field : {"CDFILIAL", "NMPRODUTO", "TXOBS"}) {
            TField* f = dataSet.FieldByName(QString::fromLatin1(field));
            EXPECT_FALSE(f->AsString().isNull());
            EXPECT_FALSE(f->DisplayText().isNull());
        }
    EXPECT_FALSE(Wire::Encode(dataSet.DataVariant()).isEmpty());

    for (const auto& [text, data] : shared)
        EXPECT_TRUE(text->constData() == data && !text->data_ptr().isMutable()) << "a read rewrote " << text->toStdString();
}

// A request whose texts no store can keep is refused whole, wherever the text stands; the
// escapes are JSON's, as a hostile client would write them.
TEST(Wire, RequestsWithTextsNoStoreKeepsAreRefused)
{
    const struct {
        const char* what;
        const char* params;
        const char* refusal;   // a part of the error, "" when the request is kept
    } cases[] = {
        {"plain texts", R"(["0001", "Ação ½ 😀", 3])", ""},
        {"a NUL", R"(["0001", "0000000101\u0000"])", "argumento 2"},
        {"half a surrogate pair, refused by the parser", R"(["\ud800x"])", "não é JSON válido"},
        {"in a list", R"([1, ["a", "\u0000"]])", "argumento 2"},
        {"in a packet's cell", R"([{"$packet":{"fields":[{"name":"CDFILIAL","type":"string","size":4}],"rows":[["00\u00001"]]}}])", "argumento 1"},
    };
    for (const auto& c : cases) {
        const auto decoded = [&] {
            Wire::RequireStorable(Wire::DecodeRequest(QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"GetGeral","params":)") + c.params + "}"));
        };
        if (*c.refusal == 0) {
            EXPECT_NO_THROW(decoded()) << c.what;
            continue;
        }
        try {
            decoded();
            ADD_FAILURE() << c.what << ": kept";
        } catch (const EWireError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.refusal))) << c.what << ": " << e.message().toStdString();
        }
    }
}

struct BadInput {
    const char* what;
    const char* json;
    const char* message;   // a part of the error's text
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.what; }

class WireBadInput : public ::testing::TestWithParam<BadInput> {};

TEST(Wire, ZerosWithAnExponentAreZero)
{
    // The parser's full precision misread these (found by fuzzing: "-0E58Host888-}").
    for (const char* text : {"0E58", "-0E58", "0.000E+58", "0e-30", "0.0E300"}) {
        const QVariant v = Wire::Decode(QByteArray(text));
        EXPECT_EQ(v.metaType().id(), QMetaType::Double) << text;
        EXPECT_EQ(v.toDouble(), 0.0) << text;
    }
    // Elsewhere nothing changes: other numbers, and texts that look like numbers.
    EXPECT_EQ(Wire::Decode("[1E58, 10e2, \"0E58\", \"a\\\"0E5\"]").toList(), (QVariantList{1e58, 1000.0, QStringLiteral("0E58"), QStringLiteral("a\"0E5")}));
    EXPECT_THROW(Wire::Decode("-0E58Host888-}"), EWireError);
    EXPECT_THROW(Wire::Decode("1e400"), EWireError);
    // Numbers keep their value and kind, read from their text.
    EXPECT_EQ(Wire::Decode("[9223372036854775807, -9223372036854775808, 0.1, 1234.56, 5e-324, 1.7976931348623157e308]").toList(),
              (QVariantList{qlonglong(9223372036854775807LL), qlonglong(-9223372036854775807LL - 1), 0.1, 1234.56, 5e-324, 1.7976931348623157e308}));
}

TEST(Wire, DatesAreWrittenAsQtWritesThem)
{
    // Every 37th day from year 1 to 9999, at a time of day that moves along, and the days
    // around the epoch: the packet's text is Qt's ISO text of the same moment.
    QList<QVariantList> rows;
    QStringList expected;
    const qint64 first = QDate(1, 1, 1).toJulianDay(), last = QDate(9999, 12, 31).toJulianDay();
    for (qint64 day = first; day <= last; day += 37) {
        const QDateTime moment(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(day * 7919 % 86400) * 1000), Qt::UTC);
        rows.append({moment.date(), moment});
        expected << moment.date().toString(Qt::ISODate) + '|' + moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    for (const QDateTime& moment : {QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59), Qt::UTC), QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC),
                                    QDateTime(QDate(2000, 2, 29), QTime(12, 0), Qt::UTC), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC)}) {
        rows.append({moment.date(), moment});
        expected << moment.date().toString(Qt::ISODate) + '|' + moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    const QVariant packet = PacketVar({{"DT", TFieldType::Date, 0}, {"DTHR", TFieldType::DateTime, 0}}, rows);
    const QJsonArray written = QJsonDocument::fromJson(Wire::Encode(packet)).object()["$packet"].toObject()["rows"].toArray();
    QStringList got;
    for (const QJsonValue& row : written)
        got << row[0].toString() + '|' + row[1].toString();
    EXPECT_EQ(got, expected);
}

TEST_P(WireBadInput, IsAClearError)
{
    const BadInput& c = GetParam();
    try {
        Wire::Decode(QByteArray(c.json));
        FAIL() << c.what << ": no error";
    } catch (const EWireError& e) {
        EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << c.what << ": " << e.message().toStdString();
    }
}

const char* deepNesting()
{
    static const std::string json = std::string(70, '[') + std::string(70, ']');
    return json.c_str();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WireBadInput,
    ::testing::Values(
        BadInput{"malformed JSON", R"([1, 2)", "não é JSON válido"},
        BadInput{"trailing garbage", R"(1 2)", "não é JSON válido"},
        BadInput{"short row", R"({"$packet":{)" "\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"size\":4},{\"name\":\"B\",\"type\":\"integer\"}]" R"(,"rows":[["0001"]]}})",
                 "a linha 1 tem 1 valor(es), mas o pacote tem 2 campo(s)"},
        BadInput{"long row", R"({"$packet":{)" "\"fields\":[{\"name\":\"A\",\"type\":\"integer\"}]" R"(,"rows":[[1],[1,2]]}})",
                 "a linha 2 tem 2 valor(es)"},
        BadInput{"text in an integer field", R"({"$packet":{)" "\"fields\":[{\"name\":\"QT\",\"type\":\"integer\"}]" R"(,"rows":[["12"]]}})",
                 "campo QT (integer): esperava um inteiro e recebeu um texto"},
        BadInput{"fraction in an integer field", R"({"$packet":{)" "\"fields\":[{\"name\":\"QT\",\"type\":\"integer\"}]" R"(,"rows":[[1.5]]}})",
                 "esperava um inteiro"},
        BadInput{"number in a string field", R"({"$packet":{)" "\"fields\":[{\"name\":\"CD\",\"type\":\"string\",\"size\":4}]" R"(,"rows":[[1]]}})",
                 "campo CD (string): esperava um texto"},
        BadInput{"impossible date", R"({"$packet":{)" "\"fields\":[{\"name\":\"DT\",\"type\":\"date\"}]" R"(,"rows":[["2026-02-30"]]}})",
                 "esperava uma data"},
        BadInput{"bad base64", R"({"$packet":{)" "\"fields\":[{\"name\":\"TX\",\"type\":\"blob\"}]" R"(,"rows":[["***"]]}})",
                 "base64"},
        BadInput{"unknown tag", R"({"$money":12})", "Marca desconhecida \"$money\""},
        BadInput{"plain object", R"({"a":1,"b":2})", "Objeto sem marca conhecida"},
        BadInput{"huge declared size", R"({"$packet":{"fields":[{"name":"A","type":"string","size":99999999999}],"rows":[]}})",
                 "tamanho inválido"},
        BadInput{"unknown field type", R"({"$packet":{"fields":[{"name":"A","type":"money"}],"rows":[]}})",
                 "tipo desconhecido \"money\""},
        BadInput{"field without name", R"({"$packet":{"fields":[{"type":"string"}],"rows":[]}})", "não tem nome"},
        BadInput{"rows missing", R"({"$packet":{"fields":[]}})", "sem a lista \"rows\""},
        BadInput{"states of another length", R"({"$packet":{"fields":[{"name":"A","type":"integer"}],"rows":[[1]],"states":[]}})",
                 "um estado por linha"},
        BadInput{"bad $date", R"({"$date":"10/12/2026"})", "$date"},
        BadInput{"deep nesting", deepNesting(), "aninhado demais"}),
    [](const auto& row) {
        std::string name = row.param.what;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(Wire, UnsendableValuesAreRefused)
{
    EXPECT_THROW(Wire::Encode(std::nan("")), EWireError);
    EXPECT_THROW(Wire::Encode(QVariantMap{{"a", 1}}), EWireError);
}

TEST(Wire, EnvelopesCarryByReferenceValuesAndErrors)
{
    const QByteArray request = Wire::EncodeRequest({7, QStringLiteral("GetGeral"), {QStringLiteral("0001"), 1}});
    EXPECT_EQ(request, R"({"jsonrpc":"2.0","id":7,"method":"GetGeral","params":["0001",1]})");

    const Wire::Response ok = Wire::DecodeResponse(R"({"jsonrpc":"2.0","id":7,"result":[1],"byref":{"2":"novo"}})");
    EXPECT_FALSE(ok.isError);
    EXPECT_EQ(ok.result.toList().value(0).toInt(), 1);
    EXPECT_EQ(ok.byref.value(2).toString(), "novo");

    const Wire::Response error = Wire::DecodeResponse(R"({"jsonrpc":"2.0","id":7,"error":{"code":-32000,"message":"N_PARAM_PED|0001"}})");
    EXPECT_TRUE(error.isError);
    EXPECT_EQ(error.errorMessage, "N_PARAM_PED|0001");

    EXPECT_THROW(Wire::DecodeResponse(R"({"jsonrpc":"2.0","id":7})"), EWireError);
    EXPECT_THROW(Wire::DecodeResponse(R"({"jsonrpc":"2.0","id":7,"result":1,"byref":{"x":1}})"), EWireError);
}

TEST(Wire, PayloadElementsAreCheckedWithTheMethodNamed)
{
    const QVariant payload = VarArrayOf({1, 2});
    EXPECT_EQ(VarElement(payload, 1, QStringLiteral("GetGeral")).toInt(), 2);
    try {
        VarElement(payload, 7, QStringLiteral("GetGeral"));
        FAIL();
    } catch (const EWireError& e) {
        EXPECT_EQ(e.message(), "GetGeral: a lista recebida tem 2 elemento(s); o elemento 7 não existe.");
    }
    try {
        VarElement(PacketVar({{"A", TFieldType::Integer, 0}}, {}), 0, QStringLiteral("GetSalao"));
        FAIL();
    } catch (const EWireError& e) {
        EXPECT_EQ(e.message(), "GetSalao: esperava uma lista de valores e recebeu um pacote de dados (elemento 0 pedido).");
    }
}


TEST(HttpFraming, HeadsTellStatusLengthChunksAndConnection)
{
    struct Case {
        QByteArray head;
        std::optional<int> status;
        qint64 length;
        bool badLength, chunked, close;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: keep-alive\r\n\r\n", 200, 12, false, false, false},
        {"HTTP/1.1 200 OK\r\ntransfer-encoding:  gzip, Chunked \r\n\r\n", 200, -1, false, true, false},
        {"HTTP/1.0 500 Internal Server Error\nCONNECTION: Close\n\r\n", 500, -1, false, false, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Length: 12\r\n\r\n", 200, 12, false, false, false},
        // A length that is no length, and two that differ, leave the body's end unknown.
        {"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", 200, -1, true, false, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", 200, -1, true, false, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Length: 13\r\n\r\n", 200, 12, true, false, false},
        {"HTTP/1.1 200 OK\r\nContent-Length:\r\n\r\n", 200, -1, true, false, false},
        // Not an HTTP/1.x status line; a code that is no number reads as 0.
        {"SSH-2.0-OpenSSH\r\n\r\n", std::nullopt, -1, false, false, false},
        {"HTTP/2 200\r\n\r\n", std::nullopt, -1, false, false, false},
        {"HTTP/1.1\r\n\r\n", std::nullopt, -1, false, false, false},
        {"HTTP/1.1 abc\r\n\r\n", 0, -1, false, false, false},
        // A line without a name before its colon is passed over.
        {"HTTP/1.1 200 OK\r\n: 5\r\nContent-Length 7\r\n\r\n", 200, -1, false, false, false},
    };
    for (const Case& c : cases) {
        const Http::Head head = Http::ParseHead(c.head);
        EXPECT_EQ(head.status(), c.status) << c.head.toStdString();
        EXPECT_EQ(head.contentLength, c.length) << c.head.toStdString();
        EXPECT_EQ(head.badLength, c.badLength) << c.head.toStdString();
        EXPECT_EQ(head.chunked, c.chunked) << c.head.toStdString();
        EXPECT_EQ(head.close, c.close) << c.head.toStdString();
    }
}

TEST(HttpFraming, ARequestsHeadEndsAtItsBlankLine)
{
    const QByteArray bytes = "POST /rpc/ORE00400.rdmAprovaOrca HTTP/1.1\r\nX-Operator: OPER1\r\nAuthorization: Bearer abc\r\n\r\n{}";
    EXPECT_EQ(Http::HeadSize(bytes.left(bytes.size() - 3)), 0);
    const qsizetype size = Http::HeadSize(bytes);
    EXPECT_EQ(bytes.mid(size), "{}");
    const Http::Head head = Http::ParseHead(bytes.left(size));
    EXPECT_EQ(head.method(), "POST");
    EXPECT_EQ(head.target(), "/rpc/ORE00400.rdmAprovaOrca");
    EXPECT_FALSE(head.status());
    ASSERT_EQ(head.fields.size(), 2);
    EXPECT_EQ(head.fields[0].name, "x-operator");
    EXPECT_EQ(head.fields[1].value, "Bearer abc");
    // Without its version the first line is no request.
    EXPECT_EQ(Http::ParseHead("POST /rpc/X\r\n\r\n").method(), "");
}

TEST(HttpFraming, WrittenCallsAndAnswersReadBack)
{
    const QByteArray body = R"({"jsonrpc":"2.0","id":7,"method":"GetGeral","params":[]})";
    const QByteArray call = Http::Request("/rpc/CRV.rdmHost", "127.0.0.1:8400", {{"X-Branch", "0001"}}, body);
    Http::Head head = Http::ParseHead(call.left(Http::HeadSize(call)));
    EXPECT_EQ(head.method(), "POST");
    EXPECT_EQ(head.target(), "/rpc/CRV.rdmHost");
    EXPECT_EQ(head.contentLength, body.size());
    EXPECT_FALSE(head.close);
    EXPECT_EQ(call.mid(Http::HeadSize(call)), body);
    const QList<QByteArray> names = [&] {
        QList<QByteArray> n;
        for (const Http::Field& f : head.fields)
            n << f.name;
        return n;
    }();
    EXPECT_EQ(names, (QList<QByteArray>{"host", "content-type", "connection", "x-branch", "content-length"}));

    const QByteArray refused = Http::Response(401, "{}", false);
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 401 Unauthorized\r\n")) << refused.toStdString();
    head = Http::ParseHead(refused.left(Http::HeadSize(refused)));
    EXPECT_EQ(head.status(), 401);
    EXPECT_EQ(head.contentLength, 2);
    EXPECT_TRUE(head.close);
    EXPECT_TRUE(refused.contains("\r\nWWW-Authenticate: Bearer\r\n"));
    EXPECT_TRUE(Http::Response(413, {}, true).startsWith("HTTP/1.1 413 Payload Too Large\r\n"));
    EXPECT_FALSE(Http::ParseHead(Http::Response(200, {}, true)).close);
    EXPECT_FALSE(Http::Response(200, {}, true).contains("WWW-Authenticate"));
}

TEST(HttpFraming, ChunkedBodiesAreGatheredAsTheyCome)
{
    Http::ChunkedBody body;
    QByteArray bytes = "5\r\nhel";
    EXPECT_EQ(body.read(bytes, 100), Http::ChunkedBody::More);
    bytes += "lo\r\n7;name=value\r\n, mundo\r\n";
    EXPECT_EQ(body.read(bytes, 100), Http::ChunkedBody::More);
    bytes += "0\r\n\r\n";
    EXPECT_EQ(body.read(bytes, 100), Http::ChunkedBody::Done);
    EXPECT_EQ(body.content(), "hello, mundo");

    const QByteArray malformed[] = {"zz\r\nhello\r\n", "-5\r\nhello\r\n", "\r\n", "A\r\n0123456789\r\nB\r\n"};
    for (const QByteArray& bytesOf : malformed)
        EXPECT_EQ(Http::ChunkedBody().read(bytesOf, 20), Http::ChunkedBody::Malformed) << bytesOf.toStdString();
}

} // namespace
