#pragma once
// A dataset's field: its definition, its reading and writing of the current record's value, and
// the conversion of values to and from the compact cells that packets and datasets hold
// (DataPacket.h). Display texts follow the Brazilian convention (1.234,50, dd/mm/yyyy).

#include "DataPacket.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>

class TClientDataSet;

enum TFieldKind { fkData, fkCalculated };

enum TProviderFlag : unsigned { pfInUpdate = 1, pfInWhere = 2, pfInKey = 4, pfHidden = 8 };
using TProviderFlags = unsigned;

// The definition of one field, as a form's layout gives it.
struct TFieldDef {
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0;                      // strings: maximum characters (0: no limit)
    TFieldKind kind = fkData;
    QString displayLabel = {};
    bool visible = true;
    QString displayFormat = {};        // "#,##0.00", "dd/mm/yyyy", ...
    QString editFormat = {};
    int displayWidth = 0;
    TProviderFlags providerFlags = pfInUpdate | pfInWhere;
};

// The cell a field of `field`'s type and size keeps for `value`: texts fitted to the size,
// numbers, booleans and dates also read from their texts (a date as a person types it or a
// text column holds it). Throws EDataSetError, naming the field, for a value of another kind.
// A dataset's fields convert with it, and so does the server with its statements' values.
Cell ValueToCell(const TPacketField& field, const QVariant& value);

class TField {
public:
    using GetTextEvent = std::function<void(TField& sender, QString& text, bool displayText)>;

    TField(TClientDataSet* dataSet, int index, TFieldDef def);

    const QString& FieldName() const { return m_def.name; }
    TFieldType DataType() const { return m_def.type; }
    int Size() const { return m_def.size; }
    int Index() const { return m_index; }
    TFieldKind FieldKind() const { return m_def.kind; }
    bool Calculated() const { return m_def.kind == fkCalculated; }
    TClientDataSet* DataSet() const { return m_dataSet; }
    const TFieldDef& Def() const { return m_def; }

    QString DisplayLabel() const { return m_def.displayLabel.isEmpty() ? m_def.name : m_def.displayLabel; }
    void SetDisplayLabel(const QString& label) { m_def.displayLabel = label; }
    bool Visible() const { return m_def.visible; }
    void SetVisible(bool visible) { m_def.visible = visible; }
    const QString& DisplayFormat() const { return m_def.displayFormat; }
    void SetDisplayFormat(const QString& format) { m_def.displayFormat = format; }
    int DisplayWidth() const { return m_def.displayWidth ? m_def.displayWidth : m_def.size; }
    TProviderFlags ProviderFlags() const { return m_def.providerFlags; }

    GetTextEvent OnGetText;

    // Value of the current record.
    bool IsNull() const;
    QVariant Value() const;           // Null for a null field
    QString AsString() const;         // empty for null; floats with '.', dates as dd/MM/yyyy
    int AsInteger() const;            // 0 for null
    double AsFloat() const;           // 0 for null
    bool AsBoolean() const;           // false for null
    QDateTime AsDateTime() const;     // invalid for null
    QDate AsDate() const;

    void SetValue(const QVariant& value);   // converted to the field's type
    void SetAsString(const QString& value); // a string longer than Size() is cut
    void SetAsInteger(int value);
    void SetAsFloat(double value);
    void SetAsBoolean(bool value);
    void SetAsDateTime(const QDateTime& value);
    void Clear();                           // sets Null

    // The text for lists and grids (OnGetText, or DisplayFormat), and for editing.
    QString DisplayText() const;
    QString Text() const;

    // Conversion of a value to this field's cell; throws EDataSetError on a mismatch.
    Cell ToCell(const QVariant& value) const;
    QVariant FromCell(const Cell& cell) const;
    QString CellText(const Cell& cell) const;

private:
    TClientDataSet* m_dataSet;
    int m_index;
    TFieldDef m_def;
};

// The value a cell of a column of `type` holds: Null for a null cell, a QDate for a date, a
// QDateTime (UTC, the wall-clock reading) for a date-time.
QVariant CellToVariant(TFieldType type, const Cell& cell);
