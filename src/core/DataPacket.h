#pragma once
// A data packet: the field layout and the rows of a remote result, in the compact form
// that datasets hold too. Cells are typed by their column:
//   String, FixedString  -> QString
//   Integer              -> qint64
//   Float                -> double
//   Boolean              -> bool
//   Date                 -> qint64, the Julian day
//   DateTime             -> qint64, milliseconds since 1970-01-01T00:00:00 (no time zone)
//   Blob                 -> QByteArray
// and std::monostate is Null. The packet is implicitly shared: copies are cheap.
//
// A packet never changes once made, and any number of threads may read one at once, as long
// as nothing reads its texts through QString::utf16(): a text the decoder shares is a QString
// over a lasting copy (QString::fromRawData, Wire.h), and utf16() rewrites such a QString in
// place, as it does a literal. Read a cell's text as it is (comparisons, constData(), a
// QStringView, a copy); tests/test_wire.cpp holds the codec and the dataset to that.

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

enum class TFieldType { String, FixedString, Integer, Float, Boolean, Date, DateTime, Blob };

using Cell = std::variant<std::monostate, qint64, double, bool, QString, QByteArray>;
using CellRow = std::vector<Cell>;

inline bool CellIsNull(const Cell& c) { return std::holds_alternative<std::monostate>(c); }

enum class TRowState : quint8 { Unchanged, Modified, Inserted };

struct TPacketField {
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0;
};

// The largest string size a packet or a layout may declare.
constexpr int MaxFieldSize = 1 << 20;

// A text as a field of `type` and `size` keeps it: cut to the size (0: no limit), and a
// fixed-length text without its trailing blanks.
QString FitText(QString text, TFieldType type, int size);

QString FieldTypeName(TFieldType type);                      // the wire's name: "string", ...
std::optional<TFieldType> FieldTypeFromName(const QString& name);

class TDataPacket {
public:
    TDataPacket();
    TDataPacket(QList<TPacketField> fields, std::vector<CellRow> rows, std::vector<TRowState> states = {});

    const QList<TPacketField>& fields() const { return d->fields; }
    const std::vector<CellRow>& rows() const { return d->rows; }
    // Empty when no row carries a pending change; else parallel to rows().
    const std::vector<TRowState>& states() const { return d->states; }
    int fieldIndex(const QString& name) const;   // -1 when absent (case-insensitive)
    int rowCount() const { return int(d->rows.size()); }

    bool operator==(const TDataPacket& other) const;

private:
    struct Data {
        QList<TPacketField> fields;
        std::vector<CellRow> rows;
        std::vector<TRowState> states;
    };
    std::shared_ptr<const Data> d;
};

Q_DECLARE_METATYPE(TDataPacket)

// True when the variant holds a data packet.
bool VarIsPacket(const class QVariant& v);
