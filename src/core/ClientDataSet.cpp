#include "ClientDataSet.h"

#include "DataSetFilter.h"
#include "Errors.h"
#include "Variants.h"

#include <algorithm>

struct TClientDataSet::FilterExpr {
    std::unique_ptr<FilterNode> root;
};

namespace {

bool isString(TFieldType t) { return t == TFieldType::String || t == TFieldType::FixedString; }

const Cell& nullCell()
{
    static const Cell c;
    return c;
}

} // namespace

// ============================================================================ TClientDataSet

TClientDataSet::TClientDataSet(QObject* parent, const QString& name) : QObject(parent) { setObjectName(name); }
TClientDataSet::~TClientDataSet() = default;

void TClientDataSet::DefineFields(const std::vector<TFieldDef>& defs)
{
    if (Active())
        throw EDataSetError(QStringLiteral("%1: os campos só podem ser definidos com o dataset fechado.").arg(objectName()));
    m_fields.clear();
    for (const auto& def : defs) {
        if (FindField(def.name))
            throw EDataSetError(QStringLiteral("%1: campo %2 definido duas vezes.").arg(objectName(), def.name));
        m_fields.push_back(std::make_unique<TField>(this, int(m_fields.size()), def));
    }
}

TField* TClientDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDataSetError(QStringLiteral("%1: não há campo de índice %2.").arg(objectName()).arg(index));
    return m_fields[size_t(index)].get();
}

TField* TClientDataSet::FindField(const QString& name) const
{
    for (const auto& f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TClientDataSet::FieldByName(const QString& name) const
{
    if (TField* f = FindField(name))
        return f;
    throw EDataSetError(QStringLiteral("%1: campo '%2' não encontrado.").arg(objectName(), name));
}

QString TClientDataSet::Text(const QString& field) const { return FieldByName(field)->AsString(); }

CellRow TClientDataSet::emptyRow() const { return CellRow(m_fields.size()); }

void TClientDataSet::setState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void TClientDataSet::requireActive(const char* operation) const
{
    if (!Active())
        throw EDataSetError(QStringLiteral("%1: %2 com o dataset fechado.").arg(objectName(), QString::fromUtf8(operation)));
}

// Like the platform: moving away from a record being edited posts it when it was changed.
void TClientDataSet::requireBrowse(const char* operation)
{
    requireActive(operation);
    if (m_state == dsEdit || m_state == dsInsert) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void TClientDataSet::CreateDataSet()
{
    if (m_fields.empty())
        throw EDataSetError(QStringLiteral("%1: não há campos definidos.").arg(objectName()));
    m_records.clear();
    m_deletedChanges = 0;
    m_modified = false;
    setState(dsBrowse);
    rebuildView();
    emit dataReset();
    First();
}

void TClientDataSet::Close()
{
    m_records.clear();
    m_view.clear();
    m_deletedChanges = 0;
    m_modified = false;
    m_eof = m_bof = true;
    setState(dsInactive);
    emit dataReset();
}

void TClientDataSet::EmptyDataSet()
{
    requireActive("EmptyDataSet");
    if (m_state != dsBrowse)
        Cancel();
    m_records.clear();
    m_deletedChanges = 0;
    rebuildView();
    emit dataReset();
    First();
}

void TClientDataSet::SetData(const QVariant& packet)
{
    if (!VarIsPacket(packet))
        throw EWireError(QStringLiteral("%1: esperava um pacote de dados e recebeu %2.")
                             .arg(objectName(), VarIsNull(packet)      ? QStringLiteral("Null")
                                                : VarIsArray(packet) ? QStringLiteral("uma lista de valores")
                                                                     : QString::fromLatin1(packet.typeName() ? packet.typeName() : "nada")));
    LoadPacket(packet.value<TDataPacket>());
}

void TClientDataSet::LoadPacket(const TDataPacket& packet)
{
    if (m_state == dsEdit || m_state == dsInsert)
        Cancel();
    if (m_fields.empty()) {
        // A dataset without a layout takes the packet's.
        std::vector<TFieldDef> defs;
        for (const auto& f : packet.fields())
            defs.push_back(TFieldDef{f.name, f.type, f.size});
        DefineFields(defs);
    }

    struct Column {
        int source;        // packet column, -1 when absent
        bool sameType;
    };
    std::vector<Column> columns;
    columns.reserve(m_fields.size());
    for (const auto& f : m_fields) {
        const int source = f->Calculated() ? -1 : packet.fieldIndex(f->FieldName());
        const bool same = source >= 0
                          && (packet.fields()[source].type == f->DataType()
                              || (isString(packet.fields()[source].type) && isString(f->DataType())));
        columns.push_back({source, same});
    }

    std::vector<Record> records;
    records.reserve(size_t(packet.rowCount()));
    const auto& states = packet.states();
    const size_t width = m_fields.size();
    for (size_t r = 0; r < packet.rows().size(); ++r) {
        const CellRow& in = packet.rows()[r];
        Record rec;
        rec.values.resize(width);
        for (size_t c = 0; c < width; ++c) {
            const Column& col = columns[c];
            if (col.source < 0)
                continue;
            const Cell& cell = in[size_t(col.source)];
            if (CellIsNull(cell))
                continue;
            const TField& f = *m_fields[c];
            if (col.sameType) {
                if (isString(f.DataType())) {
                    const QString& s = std::get<QString>(cell);
                    const bool cut = f.Size() > 0 && s.size() > f.Size();
                    const bool trim = f.DataType() == TFieldType::FixedString && s.endsWith(QLatin1Char(' '));
                    rec.values[c] = (cut || trim) ? f.ToCell(s) : cell;
                } else {
                    rec.values[c] = cell;
                }
            } else {
                try {
                    rec.values[c] = f.ToCell(CellToVariant(packet.fields()[col.source].type, cell));
                } catch (const EDataSetError& e) {
                    throw EWireError(QStringLiteral("%1, linha %2: %3").arg(objectName()).arg(r + 1).arg(e.message()));
                }
            }
        }
        rec.state = states.empty() ? TRowState::Unchanged : states[r];
        if (rec.state == TRowState::Modified)
            rec.original = rec.values;
        records.push_back(std::move(rec));
    }

    m_records = std::move(records);
    m_deletedChanges = 0;
    m_modified = false;
    rebuildView();
    m_pos = 0;
    setState(dsBrowse);   // whoever hears of the new state reads the new records
    emit dataReset();
    First();
}

TDataPacket TClientDataSet::Data() const
{
    QList<TPacketField> fields;
    std::vector<int> source;
    for (const auto& f : m_fields) {
        if (f->Calculated())
            continue;
        fields.append(TPacketField{f->FieldName(), f->DataType(), f->Size()});
        source.push_back(f->Index());
    }
    std::vector<CellRow> rows;
    std::vector<TRowState> states;
    bool anyChange = false;
    for (const Record& rec : m_records) {
        if (rec.deleted)
            continue;
        CellRow row;
        row.reserve(source.size());
        for (int i : source)
            row.push_back(rec.values[size_t(i)]);
        rows.push_back(std::move(row));
        states.push_back(rec.state);
        anyChange = anyChange || rec.state != TRowState::Unchanged;
    }
    if (!anyChange)
        states.clear();
    return TDataPacket(std::move(fields), std::move(rows), std::move(states));
}

QVariant TClientDataSet::DataVariant() const { return QVariant::fromValue(Data()); }

// ---- view and cursor

bool TClientDataSet::passesFilter(const Record& r)
{
    if (r.deleted)
        return false;
    if (!m_filtered || !m_filterExpr)
        return true;
    return EvalFilter(*m_filterExpr->root, r.values);
}

void TClientDataSet::rebuildView()
{
    m_view.clear();
    for (int i = 0; i < int(m_records.size()); ++i)
        if (passesFilter(m_records[size_t(i)]))
            m_view.push_back(i);
    if (m_pos >= int(m_view.size()))
        m_pos = std::max(0, int(m_view.size()) - 1);
}

void TClientDataSet::moveTo(int pos, bool fireScroll)
{
    m_pos = m_view.empty() ? 0 : std::clamp(pos, 0, int(m_view.size()) - 1);
    if (!m_view.empty())
        ensureCalc(m_view[size_t(m_pos)]);
    emit recordChanged();
    if (fireScroll && AfterScroll)
        AfterScroll(*this);
}

void TClientDataSet::First()
{
    requireBrowse("First");
    m_bof = true;
    m_eof = m_view.empty();
    moveTo(0);
}

void TClientDataSet::Last()
{
    requireBrowse("Last");
    m_eof = true;
    m_bof = m_view.empty();
    moveTo(int(m_view.size()) - 1);
}

void TClientDataSet::Next()
{
    requireBrowse("Next");
    if (m_pos + 1 < int(m_view.size())) {
        m_bof = false;
        m_eof = false;
        moveTo(m_pos + 1);
    } else {
        m_eof = true;
    }
}

void TClientDataSet::Prior()
{
    requireBrowse("Prior");
    if (m_pos > 0 && !m_view.empty()) {
        m_eof = false;
        m_bof = false;
        moveTo(m_pos - 1);
    } else {
        m_bof = true;
    }
}

void TClientDataSet::SetRecNo(int recNo)
{
    requireBrowse("RecNo");
    if (recNo < 1 || recNo > int(m_view.size()))
        return;
    m_bof = recNo == 1;
    m_eof = false;
    moveTo(recNo - 1);
}

// ---- calculated fields

namespace {
struct Restore {
    std::function<void()> f;
    ~Restore() { f(); }
};
} // namespace

void TClientDataSet::ensureCalc(int recordIndex)
{
    Record& rec = m_records[size_t(recordIndex)];
    if (rec.calcValid)
        return;
    rec.calcValid = true;
    if (!OnCalcFields)
        return;
    for (const auto& f : m_fields)
        if (f->Calculated())
            rec.values[size_t(f->Index())] = Cell{};
    const TDataSetState saved = m_state;
    const int savedOverride = m_readOverride;
    m_readOverride = recordIndex;
    m_state = dsCalcFields;
    Restore restore{[&] {
        m_state = saved;
        m_readOverride = savedOverride;
    }};
    OnCalcFields(*this);
}

void TClientDataSet::calcEditBuffer()
{
    if (!OnCalcFields)
        return;
    const TDataSetState saved = m_state;
    m_state = dsCalcFields;
    Restore restore{[&] { m_state = saved; }};
    OnCalcFields(*this);
}

const Cell& TClientDataSet::CellOf(int i)
{
    if (m_state == dsInactive)
        throw EDataSetError(QStringLiteral("%1: leitura do campo %2 com o dataset fechado.").arg(objectName(), m_fields[size_t(i)]->FieldName()));
    if (m_readOverride >= 0)
        return m_records[size_t(m_readOverride)].values[size_t(i)];
    if (m_state == dsEdit || m_state == dsInsert || (m_state == dsCalcFields && m_readOverride < 0)) {
        if (m_state != dsCalcFields && m_fields[size_t(i)]->Calculated())
            calcEditBuffer();
        return m_edit[size_t(i)];
    }
    if (m_view.empty())
        return nullCell();
    const int r = m_view[size_t(m_pos)];
    if (m_fields[size_t(i)]->Calculated())
        ensureCalc(r);
    return m_records[size_t(r)].values[size_t(i)];
}

void TClientDataSet::SetCellOf(int i, Cell cell)
{
    const TField& f = *m_fields[size_t(i)];
    if (m_state == dsCalcFields) {
        if (!f.Calculated())
            throw EDataSetError(QStringLiteral("%1: o campo %2 não pode ser alterado no cálculo.").arg(objectName(), f.FieldName()));
        if (m_readOverride >= 0)
            m_records[size_t(m_readOverride)].values[size_t(i)] = std::move(cell);
        else
            m_edit[size_t(i)] = std::move(cell);
        return;
    }
    if (m_state != dsEdit && m_state != dsInsert)
        throw EDataSetError(QStringLiteral("%1: o registro não está em edição (campo %2).").arg(objectName(), f.FieldName()));
    if (f.Calculated())
        throw EDataSetError(QStringLiteral("%1: o campo calculado %2 só é preenchido pelo cálculo.").arg(objectName(), f.FieldName()));
    if (m_edit[size_t(i)] == cell)
        return;
    m_edit[size_t(i)] = std::move(cell);
    m_modified = true;
    emit recordChanged();
}

template <class F>
auto TClientDataSet::withRecord(int recordIndex, F&& read)
{
    ensureCalc(recordIndex);
    const int saved = m_readOverride;
    m_readOverride = recordIndex;
    Restore restore{[&] { m_readOverride = saved; }};
    return read();
}

QString TClientDataSet::DisplayTextAt(int row, int fieldIndex)
{
    if (row == m_pos && (m_state == dsEdit))
        return Fields(fieldIndex)->DisplayText();
    return withRecord(m_view.at(size_t(row)), [&] { return Fields(fieldIndex)->DisplayText(); });
}

QVariant TClientDataSet::ValueAt(int row, int fieldIndex)
{
    return withRecord(m_view.at(size_t(row)), [&] { return Fields(fieldIndex)->Value(); });
}

// ---- editing

void TClientDataSet::Edit()
{
    requireActive("Edit");
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (m_view.empty()) {
        Insert();
        return;
    }
    m_edit = m_records[size_t(m_view[size_t(m_pos)])].values;
    m_modified = false;
    setState(dsEdit);
}

void TClientDataSet::Insert()
{
    requireBrowse("Insert");
    m_edit = emptyRow();
    m_insertAt = m_view.empty() ? 0 : m_pos;
    m_modified = false;
    setState(dsInsert);
    if (OnNewRecord)
        OnNewRecord(*this);
    emit recordChanged();
}

void TClientDataSet::Append()
{
    requireBrowse("Append");
    m_edit = emptyRow();
    m_insertAt = int(m_view.size());
    m_modified = false;
    setState(dsInsert);
    if (OnNewRecord)
        OnNewRecord(*this);
    emit recordChanged();
}

void TClientDataSet::Post()
{
    if (m_state != dsEdit && m_state != dsInsert)
        throw EDataSetError(QStringLiteral("%1: Post sem registro em edição.").arg(objectName()));
    if (BeforePost)
        BeforePost(*this);   // an abort here leaves the record in edit, with its values
    for (const auto& f : m_fields)
        if (f->Calculated())
            m_edit[size_t(f->Index())] = Cell{};

    int recordIndex;
    if (m_state == dsEdit) {
        recordIndex = m_view[size_t(m_pos)];
        Record& rec = m_records[size_t(recordIndex)];
        if (rec.values != m_edit) {
            if (rec.state == TRowState::Unchanged) {
                rec.original = rec.values;
                rec.state = TRowState::Modified;
            }
            rec.values = std::move(m_edit);
        }
        rec.calcValid = false;
    } else {
        Record rec;
        rec.values = std::move(m_edit);
        rec.state = TRowState::Inserted;
        recordIndex = m_insertAt < int(m_view.size()) ? m_view[size_t(m_insertAt)] : int(m_records.size());
        m_records.insert(m_records.begin() + recordIndex, std::move(rec));
    }
    m_edit.clear();
    m_modified = false;
    setState(dsBrowse);
    rebuildView();
    const auto it = std::find(m_view.begin(), m_view.end(), recordIndex);
    m_bof = m_eof = false;
    emit dataReset();
    moveTo(it == m_view.end() ? m_pos : int(it - m_view.begin()), false);
    if (AfterPost)
        AfterPost(*this);
}

void TClientDataSet::Cancel()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    m_edit.clear();
    m_modified = false;
    setState(dsBrowse);
    emit recordChanged();
}

void TClientDataSet::Delete()
{
    requireBrowse("Delete");
    if (m_view.empty())
        throw EDataSetError(QStringLiteral("%1: não há registro para excluir.").arg(objectName()));
    const int r = m_view[size_t(m_pos)];
    if (m_records[size_t(r)].state == TRowState::Inserted) {
        m_records.erase(m_records.begin() + r);
    } else {
        m_records[size_t(r)].deleted = true;
        ++m_deletedChanges;
    }
    rebuildView();
    m_eof = m_view.empty();
    emit dataReset();
    moveTo(m_pos);
}

// ---- change log

int TClientDataSet::ChangeCount() const
{
    int count = m_deletedChanges;
    for (const Record& r : m_records)
        if (!r.deleted && r.state != TRowState::Unchanged)
            ++count;
    return count;
}

void TClientDataSet::MergeChangeLog()
{
    std::erase_if(m_records, [](const Record& r) { return r.deleted; });
    for (Record& r : m_records) {
        r.state = TRowState::Unchanged;
        r.original.clear();
    }
    m_deletedChanges = 0;
    rebuildView();
}

void TClientDataSet::CancelUpdates()
{
    Cancel();
    std::erase_if(m_records, [](const Record& r) { return r.state == TRowState::Inserted; });
    for (Record& r : m_records) {
        r.deleted = false;
        if (r.state == TRowState::Modified)
            r.values = r.original;
        r.state = TRowState::Unchanged;
        r.original.clear();
        r.calcValid = false;
    }
    m_deletedChanges = 0;
    rebuildView();
    emit dataReset();
    if (Active())
        First();
}

// ---- filter and Locate

void TClientDataSet::SetFilter(const QString& filter)
{
    auto expr = std::make_shared<FilterExpr>();
    if (!filter.trimmed().isEmpty())
        expr->root = ParseFilter(filter, *this);
    m_filter = filter;
    m_filterExpr = expr->root ? expr : nullptr;
    if (m_filtered && Active()) {
        requireBrowse("Filter");
        rebuildView();
        emit dataReset();
        First();
    }
}

void TClientDataSet::SetFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    m_filtered = filtered;
    if (Active()) {
        requireBrowse("Filtered");
        rebuildView();
        emit dataReset();
        First();
    }
}

bool TClientDataSet::Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options)
{
    requireBrowse("Locate");
    const QStringList names = keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    std::vector<TField*> fields;
    for (const QString& n : names)
        fields.push_back(FieldByName(n.trimmed()));
    QVariantList values;
    if (fields.size() == 1 && !VarIsArray(keyValues))
        values = {keyValues};
    else
        values = keyValues.toList();
    if (values.size() != qsizetype(fields.size()))
        throw EDataSetError(QStringLiteral("%1: Locate com %2 campo(s) e %3 valor(es).").arg(objectName()).arg(fields.size()).arg(values.size()));

    const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (int pos = 0; pos < int(m_view.size()); ++pos) {
        const Record& rec = m_records[size_t(m_view[size_t(pos)])];
        bool match = true;
        for (size_t k = 0; k < fields.size() && match; ++k) {
            const Cell& cell = rec.values[size_t(fields[k]->Index())];
            const QVariant& wanted = values[qsizetype(k)];
            if (VarIsClear(wanted)) {
                match = CellIsNull(cell);
                continue;
            }
            const QString have = fields[k]->CellText(cell);
            const QString want = fields[k]->CellText(fields[k]->ToCell(wanted));
            match = (options & loPartialKey) ? have.startsWith(want, cs) : have.compare(want, cs) == 0;
        }
        if (match) {
            m_bof = m_eof = false;
            moveTo(pos);
            return true;
        }
    }
    return false;
}

// ============================================================================ TDataSource

TDataSource::TDataSource(QObject* parent, const QString& name, TClientDataSet* dataSet) : QObject(parent)
{
    setObjectName(name);
    SetDataSet(dataSet);
}

void TDataSource::SetDataSet(TClientDataSet* dataSet)
{
    for (const auto& c : m_links)
        disconnect(c);
    m_links.clear();
    m_dataSet = dataSet;
    // What the controls and lists show has changed with the dataset.
    emit dataReset();
    if (!dataSet)
        return;
    m_links << connect(dataSet, &TClientDataSet::stateChanged, this, [this] {
        if (OnStateChange)
            OnStateChange(*this);
        emit stateChanged();
    });
    m_links << connect(dataSet, &TClientDataSet::recordChanged, this, &TDataSource::recordChanged);
    m_links << connect(dataSet, &TClientDataSet::dataReset, this, &TDataSource::dataReset);
    m_links << connect(dataSet, &QObject::destroyed, this, [this] {
        m_dataSet = nullptr;
        emit dataReset();   // what showed its fields shows nothing now
    });
}
