#include "Sessions.h"

#include "Password.h"
#include "Store.h"

#include <QCryptographicHash>
#include <QSqlQuery>

#include <cmath>

namespace {

QDateTime Parse(const QVariant& stamp) { return QDateTime::fromString(stamp.toString(), Qt::ISODateWithMs); }

// Failures are counted under the code as typed, cut to the column's width.
QString CountedCode(const QString& operatorCode) { return operatorCode.trimmed().left(40); }

} // namespace

QString PreciseStamp(const QDateTime& moment) { return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")); }

namespace Sessions {

QString Open(QSqlDatabase& db, const QString& operatorCode, const QString& branch, const QDateTime& now, const TSessionPolicy& policy)
{
    Run(db, QStringLiteral("DELETE FROM SESSAO WHERE DTULTUSO < ?"), {PreciseStamp(now.addSecs(-qint64(policy.idleMinutes) * 60))});
    const QString token = QString::fromLatin1(RandomBytes(32).toHex());
    Run(db, QStringLiteral("INSERT INTO SESSAO (DSTOKENHASH, CDOPERADOR, CDFILIAL, DTINICIO, DTULTUSO) VALUES (?, ?, ?, ?, ?)"),
        {TokenHash(token), operatorCode, branch, PreciseStamp(now), PreciseStamp(now)});
    return token;
}

QString TokenHash(const QString& token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

std::optional<TStoredSession> Lookup(QSqlDatabase& db, const QString& tokenHash)
{
    TRows q = Run(db, QStringLiteral("SELECT CDOPERADOR, CDFILIAL, DTULTUSO, CDOPERCONF, DTCONF FROM SESSAO WHERE DSTOKENHASH = ?"), {tokenHash});
    if (!q.next())
        return std::nullopt;
    return TStoredSession{{tokenHash, q.value(0).toString(), q.value(1).toString(), q.value(3).toString(), Parse(q.value(4))}, Parse(q.value(2))};
}

std::optional<TSessionInfo> Alive(const TStoredSession& stored, const QDateTime& now, const TSessionPolicy& policy)
{
    if (!stored.lastUse.isValid() || stored.lastUse.secsTo(now) > qint64(policy.idleMinutes) * 60)
        return std::nullopt;   // removed by the next login
    TSessionInfo session = stored.session;
    // The last use is written at most once a minute, and at least twice within the idle time, so
    // that a session in use never looks idle for longer than the limit, however short.
    session.stale = stored.lastUse.secsTo(now) >= std::min<qint64>(60, qint64(policy.idleMinutes) * 30);
    return session;
}

void Touch(QSqlDatabase& db, const TSessionInfo& session, const QDateTime& now)
{
    Run(db, QStringLiteral("UPDATE SESSAO SET DTULTUSO = ? WHERE DSTOKENHASH = ?"), {PreciseStamp(now), session.tokenHash});
}

void Close(QSqlDatabase& db, const TSessionInfo& session)
{
    Run(db, QStringLiteral("DELETE FROM SESSAO WHERE DSTOKENHASH = ?"), {session.tokenHash});
}

void RecordConfirmation(QSqlDatabase& db, const TSessionInfo& session, const QString& confirmedBy, const QDateTime& now)
{
    Run(db, QStringLiteral("UPDATE SESSAO SET CDOPERCONF = ?, DTCONF = ?, DSORCACONF = NULL WHERE DSTOKENHASH = ?"),
        {confirmedBy, PreciseStamp(now), session.tokenHash});
}

TApprovalInProgress ApprovalInProgress(QSqlDatabase& db, const TSessionInfo& session)
{
    TRows q = Run(db, QStringLiteral("SELECT CDOPERCONF, DTCONF, DSORCACONF, DSORCAAPROV, IDDESCACIMA FROM SESSAO WHERE DSTOKENHASH = ?") + ForUpdate(db),
                  {session.tokenHash});
    if (!q.next())
        return {};
    return {q.value(0).toString(), Parse(q.value(1)), q.value(2).toString(), q.value(3).toString(),
            q.isNull(4) ? std::nullopt : std::optional<bool>(q.value(4).toString() == QLatin1String("S"))};
}

void BindConfirmation(QSqlDatabase& db, const TSessionInfo& session, const QString& quote)
{
    Run(db, QStringLiteral("UPDATE SESSAO SET DSORCACONF = ? WHERE DSTOKENHASH = ?"), {quote, session.tokenHash});
}

void RecordDiscountMeasure(QSqlDatabase& db, const TSessionInfo& session, const QString& quote, bool above)
{
    Run(db, QStringLiteral("UPDATE SESSAO SET DSORCAAPROV = ?, IDDESCACIMA = ? WHERE DSTOKENHASH = ?"),
        {quote, above ? QStringLiteral("S") : QStringLiteral("N"), session.tokenHash});
}

void EndApproval(QSqlDatabase& db, const TSessionInfo& session)
{
    Run(db, QStringLiteral("UPDATE SESSAO SET CDOPERCONF = NULL, DTCONF = NULL, DSORCACONF = NULL, DSORCAAPROV = NULL, IDDESCACIMA = NULL "
                           "WHERE DSTOKENHASH = ?"),
        {session.tokenHash});
}

} // namespace Sessions

bool PasswordMatches(QSqlDatabase& db, const QString& operatorCode, const QString& password)
{
    TRows stored = Run(db, QStringLiteral("SELECT DSSENHAHASH, DSSENHASAL FROM OPERADOR WHERE CDOPERADOR = ?"), {operatorCode});
    if (!stored.next())
        return CheckPasswordOfNobody(password);
    const QString hash = stored.value(0).toString(), salt = stored.value(1).toString();
    return CheckPassword(password, hash, salt);
}

TPasswordVerdict RecordPasswordCheck(QSqlDatabase& db, const QString& operatorCode, bool right, const QDateTime& now, const TSessionPolicy& policy,
                                     QDateTime* lockedUntil)
{
    const QString counted = CountedCode(operatorCode);
    // The operator's row is taken first and held to the end of the transaction, so that checks
    // of one operator on any server of the store are judged one after the other, each on the
    // count the one before left (SQLite's write lock already orders them).
    Run(db, QStringLiteral("INSERT INTO TENTATIVASENHA (CDOPERADOR, QTFALHAS) VALUES (?, 0) ON CONFLICT (CDOPERADOR) DO NOTHING"), {counted});
    TRows row = Run(db, QStringLiteral("SELECT QTFALHAS, DTBLOQUEIO FROM TENTATIVASENHA WHERE CDOPERADOR = ?") + ForUpdate(db), {counted});
    if (!row.next())
        throw EStoreError(QStringLiteral("A contagem de senhas de %1 sumiu no meio da verificação.").arg(counted));
    const int failures = row.value(0).toInt();
    const QDateTime until = Parse(row.value(1));
    if (until.isValid() && until > now) {
        if (lockedUntil)
            *lockedUntil = until;
        return TPasswordVerdict::Locked;
    }
    // A success starts a fresh count; so does a failure after a lock that is over.
    if (right) {
        // Reset, not deleted: a check of the same operator waiting for the row finds it.
        Run(db, QStringLiteral("UPDATE TENTATIVASENHA SET QTFALHAS = 0, DTBLOQUEIO = NULL WHERE CDOPERADOR = ?"), {counted});
        return TPasswordVerdict::Right;
    }
    const int counting = (until.isValid() ? 0 : failures) + 1;
    const QDateTime end = now.addSecs(qint64(policy.lockoutMinutes) * 60);
    Run(db, QStringLiteral("UPDATE TENTATIVASENHA SET QTFALHAS = ?, DTBLOQUEIO = ? WHERE CDOPERADOR = ?"),
        {counting, counting >= policy.lockoutAfter ? QVariant(PreciseStamp(end)) : QVariant(), counted});
    return TPasswordVerdict::Wrong;
}

QString LockedText(const QString& operatorCode, const QDateTime& until, const QDateTime& now)
{
    const qint64 minutes = std::max<qint64>(1, qint64(std::ceil(double(now.secsTo(until)) / 60.0)));
    return QStringLiteral("O operador %1 está bloqueado por excesso de tentativas de senha. Tente novamente em %2 minuto(s).")
        .arg(operatorCode.trimmed())
        .arg(minutes);
}
