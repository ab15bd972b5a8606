#include "DataSetModel.h"

#include "ClientDataSet.h"

TDataSetModel::TDataSetModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent), m_source(source)
{
    if (source) {
        connect(source, &TDataSource::dataReset, this, &TDataSetModel::reset);
        connect(source, &TDataSource::stateChanged, this, &TDataSetModel::reset);
        // A form's data source may go before the grid that shows it: the columns go with it.
        connect(source, &QObject::destroyed, this, &TDataSetModel::reset);
    }
    reset();
}

void TDataSetModel::reset()
{
    beginResetModel();
    m_columns.clear();
    if (m_source && m_source->DataSet()) {
        TClientDataSet* ds = m_source->DataSet();
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (ds->Fields(i)->Visible() && !(m_checkable && ds->Fields(i)->FieldName() == QLatin1String("IDMARCADO")))
                m_columns << ds->Fields(i);
    }
    endResetModel();
}

TField* TDataSetModel::fieldAt(int column) const { return m_columns.value(column); }

int TDataSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_source || !m_source->DataSet() || !m_source->DataSet()->Active())
        return 0;
    return m_source->DataSet()->RecordCount();
}

int TDataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size()) + (m_checkable ? 1 : 0);
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_source || !m_source->DataSet())
        return {};
    int column = index.column();
    if (m_checkable) {
        if (column == 0)
            return role == Qt::CheckStateRole ? QVariant(m_checked.contains(index.row()) ? Qt::Checked : Qt::Unchecked) : QVariant();
        --column;
    }
    TField* field = m_columns.value(column);
    if (!field)
        return {};
    if (role == Qt::DisplayRole)
        return m_source->DataSet()->DisplayTextAt(index.row(), field->Index());
    if (role == Qt::TextAlignmentRole)
        return (field->DataType() == TFieldType::Float || field->DataType() == TFieldType::Integer)
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (m_checkable) {
        if (section == 0)
            return QString();
        --section;
    }
    TField* field = m_columns.value(section);
    return field ? field->DisplayLabel() : QVariant();
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_checkable && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool TDataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!m_checkable || index.column() != 0 || role != Qt::CheckStateRole)
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

void TDataSetModel::setCheckable(bool checkable)
{
    m_checkable = checkable;
    m_checked.clear();
    reset();
}

void TDataSetModel::setChecked(int row, bool checked)
{
    if (checked)
        m_checked.insert(row);
    else
        m_checked.remove(row);
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}
