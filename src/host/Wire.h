#pragma once
// The wire codec: variants, variant arrays and data packets as JSON, and the JSON-RPC 2.0
// envelopes of the protocol (docs/protocol.md).
//
//   null                          Null
//   true / false, "text"          themselves
//   1 (no fraction, no exponent)  integer (qint64);  1.0, 1e3  float (double)
//   [ ... ]                       variant array (QVariantList)
//   {"$date":"YYYY-MM-DD"}        QDate
//   {"$datetime":"YYYY-MM-DDThh:mm:ss"}  QDateTime (no time zone; held as UTC)
//   {"$unassigned":true}          Unassigned
//   {"$packet":{...}}             TDataPacket
//   {"$fail":"text"}              a failed result (TFailResult)
//
// Every decoding error is an EWireError that says what was wrong and where.
//
// The texts of a decoded packet that repeat down a column are one shared QString; those met
// again are kept for the life of the process (at most 2 MB of text in all), and the cells hold
// them without a reference count (QString::fromRawData), so that copying and dropping the
// packet's cells costs nothing for them.

#include "DataPacket.h"

#include <QByteArray>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <variant>

// A failed result of a remote method: the server's text for the operator.
struct TFailResult {
    QString text;
    bool operator==(const TFailResult& o) const { return text == o.text; }
};
Q_DECLARE_METATYPE(TFailResult)

QVariant FailResult(const QString& text);
bool VarIsFail(const QVariant& v);

namespace Wire {

QByteArray Encode(const QVariant& value);
QVariant Decode(const QByteArray& json);

// A date-time as the wire writes it, and back; invalid input gives an invalid QDateTime.
QString DateTimeText(const QDateTime& dt);
QDateTime ParseDateTime(const QString& text);

// JSON-RPC envelopes. A request's id is a number or a text; the answer carries it back as it came.
using RequestId = std::variant<qint64, QString>;
QString IdText(const RequestId& id);

struct Request {
    RequestId id = qint64(0);
    QString method;
    QVariantList params;
};

struct Response {
    RequestId id = qint64(0);
    bool isError = false;      // the server raised an exception
    int errorCode = 0;
    QString errorMessage;
    QVariant result;           // may hold a TFailResult
    QMap<int, QVariant> byref; // argument index (from 0) -> new value
};

QByteArray EncodeRequest(const Request& request);
Request DecodeRequest(const QByteArray& body);
QByteArray EncodeResponse(const Response& response);
Response DecodeResponse(const QByteArray& body);

} // namespace Wire
