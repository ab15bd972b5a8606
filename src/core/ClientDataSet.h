#pragma once
// In-memory client dataset: typed fields of fixed maximum size, records, a cursor, the
// browse/edit/insert states, events, a change log, filters, Locate, and loading from and
// saving to data packets (DataPacket.h). Its fields are in Field.h, the reading of forms'
// layouts in DataSetLayout.h.

#include "DataPacket.h"
#include "DataSetLayout.h"
#include "Field.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class TClientDataSet;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };

enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

class TClientDataSet : public QObject {
    Q_OBJECT
public:
    using Event = std::function<void(TClientDataSet& dataSet)>;

    explicit TClientDataSet(QObject* parent = nullptr, const QString& name = {});
    ~TClientDataSet() override;

    // ---- structure
    void DefineFields(const std::vector<TFieldDef>& defs);   // only while closed
    void DefineFields(const QJsonArray& layout);             // the form-layout form (docs)
    int FieldCount() const { return int(m_fields.size()); }
    TField* Fields(int index) const;
    TField* FindField(const QString& name) const;            // case-insensitive; nullptr if absent
    TField* FieldByName(const QString& name) const;          // throws EDataSetError if absent
    QString Text(const QString& field) const;                // the field's AsString; throws as FieldByName

    // ---- opening and content
    void CreateDataSet();            // open empty with the defined fields
    void Open() { CreateDataSet(); }
    void Close();
    bool Active() const { return m_state != dsInactive; }
    void EmptyDataSet();             // drop every record and the change log

    // Replace the whole content with a packet, by field name: fields the packet lacks are
    // Null, columns the dataset lacks are ignored, values are converted to the field types.
    void SetData(const QVariant& packet);
    void LoadPacket(const TDataPacket& packet);
    // Every record with its pending changes (row states); calculated fields are left out.
    TDataPacket Data() const;
    QVariant DataVariant() const;

    // ---- cursor
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    int RecNo() const { return m_view.empty() ? 0 : m_pos + 1; }
    void SetRecNo(int recNo);
    int RecordCount() const { return int(m_view.size()); }
    bool IsEmpty() const { return m_view.empty(); }

    // ---- editing
    TDataSetState State() const { return m_state; }
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return m_modified; }

    // ---- change log
    int ChangeCount() const;
    void MergeChangeLog();
    void CancelUpdates();

    // ---- filter and search
    QString Filter() const { return m_filter; }
    void SetFilter(const QString& filter);
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool filtered);
    bool Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options = 0);

    // ---- events (one handler each, as in a form definition)
    Event BeforePost;
    Event AfterPost;
    Event OnCalcFields;
    Event OnNewRecord;
    Event AfterScroll;

    // Reads of record `row` of the visible records without moving the cursor or firing events.
    QString DisplayTextAt(int row, int fieldIndex);
    QVariant ValueAt(int row, int fieldIndex);
    int CurrentRow() const { return m_view.empty() ? -1 : m_pos; }

    // Called by TField.
    const Cell& CellOf(int fieldIndex);
    void SetCellOf(int fieldIndex, Cell cell);

signals:
    void stateChanged();     // browse/edit/insert/inactive
    void recordChanged();    // the cursor moved or the current record's values changed
    void dataReset();        // records added, removed or replaced

private:
    struct Record {
        CellRow values;
        CellRow original;            // values before the first pending change (modified records)
        TRowState state = TRowState::Unchanged;
        bool deleted = false;
        bool calcValid = false;
    };

    void requireActive(const char* operation) const;
    void requireBrowse(const char* operation);
    void setState(TDataSetState state);
    void rebuildView();
    bool passesFilter(const Record& r);
    void moveTo(int pos, bool fireScroll = true);
    void ensureCalc(int recordIndex);
    void calcEditBuffer();
    CellRow emptyRow() const;
    template <class F> auto withRecord(int recordIndex, F&& read);

    std::vector<std::unique_ptr<TField>> m_fields;
    std::vector<Record> m_records;
    std::vector<int> m_view;           // indexes of the visible records, in order
    int m_pos = 0;                     // cursor in m_view
    bool m_eof = true;
    bool m_bof = true;
    TDataSetState m_state = dsInactive;
    CellRow m_edit;                    // edit/insert buffer
    int m_insertAt = -1;               // view position of a record being inserted
    bool m_modified = false;
    int m_readOverride = -1;           // record read by DisplayTextAt/OnCalcFields
    int m_deletedChanges = 0;          // deleted records that existed before the last merge
    QString m_filter;
    bool m_filtered = false;
    struct FilterExpr;
    std::shared_ptr<FilterExpr> m_filterExpr;
};

// A data source: links a dataset to data-aware controls and announces its state changes.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr, const QString& name = {}, TClientDataSet* dataSet = nullptr);
    TClientDataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(TClientDataSet* dataSet);
    TDataSetState State() const { return m_dataSet ? m_dataSet->State() : dsInactive; }

    std::function<void(TDataSource& sender)> OnStateChange;

signals:
    void stateChanged();
    void recordChanged();
    void dataReset();

private:
    TClientDataSet* m_dataSet = nullptr;
    QList<QMetaObject::Connection> m_links;
};
