#pragma once
// The JSON-RPC 2.0 envelopes of the protocol (docs/protocol.md): a call's request and its
// answer, whose values travel in the wire codec's forms (Wire.h). Decoding an envelope that is
// no JSON, or not one of these, throws an EWireError that says what was wrong.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <variant>

namespace Wire {

// A request's id is a number or a text; the answer carries it back as it came.
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
// EWireError when a text of the request (its method, an argument, a cell of a packet argument)
// holds a character no store can keep: U+0000, or half of a surrogate pair.
void RequireStorable(const Request& request);
QByteArray EncodeResponse(const Response& response);
Response DecodeResponse(const QByteArray& body);

} // namespace Wire
