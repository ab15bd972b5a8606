#pragma once
// The wire codec: variants, variant arrays and data packets as JSON (docs/protocol.md). The
// JSON-RPC 2.0 envelopes that carry them are in WireEnvelopes.h.
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
#include "WireEnvelopes.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVariant>

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

} // namespace Wire
