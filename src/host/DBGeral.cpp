#include "DBGeral.h"

#include "Errors.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

namespace {
const QString kConnection = QStringLiteral("adcGeral");
}

void TdtmDBGeral::Open(const QString& url)
{
    Close();
    QSqlDatabase db;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
        db.setDatabaseName(url.mid(7));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    } else if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://"))) {
        const QUrl u(url);
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kConnection);
        db.setHostName(u.host());
        db.setPort(u.port(5432));
        db.setUserName(u.userName());
        db.setPassword(u.password());
        db.setDatabaseName(u.path().mid(1));
    } else {
        throw EHostError(QStringLiteral("--db deve ser sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco (recebido \"%1\").").arg(url));
    }
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(kConnection);
        throw EHostError(QStringLiteral("O banco de localidades não pôde ser aberto: %1").arg(why));
    }
}

void TdtmDBGeral::Close()
{
    if (!QSqlDatabase::contains(kConnection))
        return;
    QSqlDatabase::database(kConnection, false).close();
    QSqlDatabase::removeDatabase(kConnection);
}

bool TdtmDBGeral::IsOpen() { return QSqlDatabase::contains(kConnection) && QSqlDatabase::database(kConnection, false).isOpen(); }

QSqlDatabase TdtmDBGeral::Connection()
{
    if (!IsOpen())
        throw EHostError(QStringLiteral("O banco de localidades não está aberto (ore-host --db)."));
    return QSqlDatabase::database(kConnection, false);
}

TADOIBQuery::TADOIBQuery(QObject* parent, const QString& name, const QString& sql) : TClientDataSet(parent, name) { SetSQL(sql); }

void TADOIBQuery::SetSQL(const QString& sql)
{
    m_sql = sql;
    std::map<QString, TParam> params;
    static const QRegularExpression placeholder(QStringLiteral(":([A-Za-z_][A-Za-z0-9_]*)"));
    for (auto it = placeholder.globalMatch(sql); it.hasNext();) {
        const QString name = it.next().captured(1).toUpper();
        params[name] = TParam{name, m_params.count(name) ? m_params[name].Value : QVariant()};
    }
    m_params = std::move(params);
}

TParam* TADOIBQuery::ParamByName(const QString& name)
{
    const auto it = m_params.find(name.toUpper());
    if (it == m_params.end())
        throw EDataSetError(QStringLiteral("%1: parâmetro '%2' não encontrado.").arg(objectName(), name));
    return &it->second;
}

void TADOIBQuery::Open()
{
    QSqlDatabase db = TdtmDBGeral::Connection();
    QSqlQuery q(db);
    if (!q.prepare(m_sql))
        throw EDataSetError(QStringLiteral("%1: consulta inválida: %2").arg(objectName(), q.lastError().text()));
    for (const auto& [name, param] : m_params)
        q.bindValue(QLatin1Char(':') + name, param.Value.isValid() ? param.Value.toString() : QString());
    if (!q.exec())
        throw EDataSetError(QStringLiteral("%1: %2").arg(objectName(), q.lastError().text()));

    const QSqlRecord record = q.record();
    QList<TPacketField> fields;
    for (int i = 0; i < record.count(); ++i)
        fields.append({record.fieldName(i).toUpper(), TFieldType::String, 0});
    std::vector<CellRow> rows;
    while (q.next()) {
        CellRow row;
        for (int i = 0; i < record.count(); ++i)
            row.push_back(q.value(i).isNull() ? Cell{} : Cell{q.value(i).toString()});
        rows.push_back(std::move(row));
    }
    if (Active())
        TClientDataSet::Close();
    LoadPacket(TDataPacket(fields, std::move(rows)));
}
