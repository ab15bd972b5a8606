// Decoding a remote answer on the client: the real bytes of GetGeral for a quote of 2,000
// items, as ore-server writes them, turned into the result with its data packets by
// Wire::DecodeResponse. Beside it, the floor: parsing the same bytes with the JSON parser alone,
// in place on a private copy, as the codec runs it. Each run drops what it made (the result, the
// parser's document), as a client does.
#include "Demo.h"
#include "ServerObjects.h"
#include "Store.h"
#include "Variants.h"
#include "BenchSupport.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Items = 2000;
const QString Quote = QStringLiteral("0000009600");

// The quote and its items, on the demo's products.
void bigQuote(TStore& store)
{
    store.transaction([](QSqlDatabase& db) {
        Run(db, QStringLiteral("INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE, DTEVENTO, QTHREVENTO, CDVENDEDOR) "
                               "VALUES ('0001', ?, '01', '1', '2027-12-01T20:00:00', 5, 'V01')"),
            {Quote});
        for (int i = 1; i <= Items; ++i)
            Run(db, QStringLiteral("INSERT INTO ITEMORCA (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE, NROPCAITOREV, CDPRODUTO, "
                                   "QTITEMORCEVE, VRITEMORCEVE, VRDESCITOREV, VRACREITOREV) VALUES ('0001', ?, '01', ?, ?, ?, ?, ?, 0, 0)"),
                {Quote, QString::number(i).rightJustified(10, QLatin1Char('0')), QString::number(i % 3 + 1).rightJustified(2, QLatin1Char('0')),
                 i % 2 ? QStringLiteral("P001") : QStringLiteral("M003"), double(i % 50 + 1), 1.5 + i % 7});
    });
}

// The answer's bytes, as the server sends them to a client logged in as OPER1, and the result
// they carry.
QByteArray getGeralAnswer(TStore& store, QVariant& result)
{
    TServerObjects objects(store);
    RegisterAll(objects);
    TRpcRequest request;
    request.object = QStringLiteral("ORE00400.rdmAprovaOrca");
    request.method = QStringLiteral("GetGeral");
    request.params = {QStringLiteral("0001"), Quote, QStringLiteral("01")};
    {
        QSqlDatabase db = store.connection();
        request.token = Sessions::Open(db, QStringLiteral("OPER1"), QStringLiteral("0001"), QDateTime::currentDateTime(), objects.Policy());
    }
    const TRpcReply reply = objects.Dispatch(request);
    if (reply.isError || VarIsFail(reply.result)) {
        std::fprintf(stderr, "GetGeral failed: %s\n",
                     qPrintable(reply.isError ? reply.errorMessage : reply.result.value<TFailResult>().text));
        return {};
    }
    Wire::Response response;
    response.id = 1;
    response.result = reply.result;
    response.byref = reply.byref;
    result = reply.result;
    return Wire::EncodeResponse(response);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    TStore store(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db")));
    InitDemo(store);
    bigQuote(store);
    QVariant sent;
    const QByteArray answer = getGeralAnswer(store, sent);
    if (answer.isEmpty())
        return 1;

    // What the client gets must be what the server sent: the items' packet with every item, and
    // the other packets as they were.
    const QVariantList payload = Wire::DecodeResponse(answer).result.toList();
    const QVariantList expected = sent.toList();   // GetGeral answers packets only
    bool same = payload.size() == expected.size() && payload.value(0).value<TDataPacket>().rowCount() == Items;
    for (qsizetype i = 0; same && i < payload.size(); ++i)
        same = payload[i].value<TDataPacket>() == expected[i].value<TDataPacket>();
    if (!same) {
        std::fprintf(stderr, "the decoded answer differs from what GetGeral sent\n");
        return 1;
    }

    const double mb = double(answer.size()) / 1e6;
    const int repeats = 30;
    const double decode = bestSeconds(repeats, [&] {
        const Wire::Response r = Wire::DecodeResponse(answer);
        asm volatile("" : : "r"(&r) : "memory");
    });
    const double parse = bestSeconds(repeats, [&] {
        QByteArray copy(answer.constData(), answer.size());
        rapidjson::Document doc;
        doc.ParseInsitu<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseIterativeFlag>(copy.data());
        asm volatile("" : : "r"(&doc) : "memory");
    });

    std::printf("GetGeral answer: %d items, %.2f MB of JSON (best of %d runs)\n", Items, mb, repeats);
    std::printf("  Wire::DecodeResponse : %8.1f MB/s  %8.2f ms\n", mb / decode, decode * 1e3);
    std::printf("  parse only           : %8.1f MB/s  %8.2f ms  (RapidJSON, in place)\n", mb / parse, parse * 1e3);
    std::printf("  decode / parse       : %8.2f\n", parse / decode);
    return 0;
}
