#include "Sessions.h"

#include "Password.h"
#include "Store.h"

#include <QCryptographicHash>
#include <QSqlQuery>

#include <cmath>

namespace {

QDateTime Parse(const QVariant& stamp) { return ParseStamp(stamp.toString()); }

// Failures are counted under the code as typed, cut to the column's width.
QString CountedCode(const QString& operatorCode) { return operatorCode.trimmed().left(40); }

} // namespace

QDateTime ParseStamp(const QString& stamp) { return QDateTime::fromString(stamp, Qt::ISODateWithMs).toLocalTime(); }

QString PreciseStamp(const QDateTime& moment) { return moment.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z'); }

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

namespace {

// The wait of an address after `failures` recent failures: none after the first (a typo), then
// 1, 2, 4… seconds, 30 at most.
qint64 WaitSeconds(int failures) { return failures < 2 ? 0 : std::min<qint64>(qint64(1) << std::min(failures - 2, 5), 30); }

QString PeerLockedText(const QDateTime& until, const QDateTime& now)
{
    const qint64 minutes = std::max<qint64>(1, qint64(std::ceil(double(now.secsTo(until)) / 60.0)));
    return QStringLiteral("Tentativas de senha demais a partir deste computador. Tente novamente em %1 minuto(s).").arg(minutes);
}

QString PeerWaitText(const QDateTime& until, const QDateTime& now)
{
    const qint64 seconds = std::max<qint64>(1, now.secsTo(until) + (now.msecsTo(until) % 1000 > 0 ? 1 : 0));
    return QStringLiteral("Tentativas de senha demais a partir deste computador. Aguarde %1 segundo(s) e tente novamente.").arg(seconds);
}

// An address's recent failures: those since its lock ended, within the lock's length of each other.
struct TPeerFailures {
    int failures = 0;
    QDateTime lastFailure, lockedUntil;
};

TPeerFailures Recent(const TPeerFailures& stored, const QDateTime& now, const TSessionPolicy& policy)
{
    TPeerFailures recent = stored;
    const bool lockOver = stored.lockedUntil.isValid() && stored.lockedUntil <= now;
    const bool forgotten = !stored.lastFailure.isValid() || stored.lastFailure.secsTo(now) > qint64(policy.lockoutMinutes) * 60;
    if (lockOver || forgotten)
        recent = {};
    return recent;
}

std::optional<TPasswordCheck> Refusal(const TPeerFailures& recent, const QDateTime& now)
{
    if (recent.lockedUntil.isValid() && recent.lockedUntil > now)
        return TPasswordCheck{TPasswordVerdict::Locked, recent.lockedUntil, PeerLockedText(recent.lockedUntil, now)};
    const QDateTime waitEnd = recent.lastFailure.isValid() ? recent.lastFailure.addSecs(WaitSeconds(recent.failures)) : QDateTime();
    if (waitEnd.isValid() && waitEnd > now)
        return TPasswordCheck{TPasswordVerdict::Locked, waitEnd, PeerWaitText(waitEnd, now)};
    return std::nullopt;
}

TPeerFailures PeerRow(TRows& row)
{
    return {row.value(0).toInt(), Parse(row.value(1)), Parse(row.value(2))};
}

// The operator's run of failures, his lock and the addresses it came from, forgotten.
void ForgetFailures(QSqlDatabase& db, const QString& counted)
{
    Run(db, QStringLiteral("UPDATE TENTATIVASENHA SET QTFALHAS = 0, DTBLOQUEIO = NULL, DSORIGENS = NULL WHERE CDOPERADOR = ?"), {counted});
}

// Calls made in the process itself have no address: they are counted together under "-".
QString CountedPeer(const QString& peer) { return peer.isEmpty() ? QStringLiteral("-") : peer.left(64); }

} // namespace

std::optional<TPasswordCheck> PeerRefusal(QSqlDatabase& db, const QString& peer, const QDateTime& now, const TSessionPolicy& policy)
{
    TRows row = Run(db, QStringLiteral("SELECT QTFALHAS, DTULTFALHA, DTBLOQUEIO FROM TENTATIVAORIGEM WHERE DSORIGEM = ?"), {CountedPeer(peer)});
    if (!row.next())
        return std::nullopt;
    return Refusal(Recent(PeerRow(row), now, policy), now);
}

TPasswordCheck RecordPasswordCheck(QSqlDatabase& db, const QString& operatorCode, const QString& peer, bool right, const QDateTime& now,
                                   const TSessionPolicy& policy)
{
    const QString counted = CountedCode(operatorCode), address = CountedPeer(peer);
    // The operator's row is taken first, then the address's, and both are held to the end of
    // the transaction, so that checks of one operator or from one address on any server of the
    // store are judged one after the other, each on the counts the one before left (SQLite's
    // write lock already orders them).
    Run(db, QStringLiteral("INSERT INTO TENTATIVASENHA (CDOPERADOR, QTFALHAS) VALUES (?, 0) ON CONFLICT (CDOPERADOR) DO NOTHING"), {counted});
    TRows row = Run(db, QStringLiteral("SELECT QTFALHAS, DTBLOQUEIO, DSORIGENS FROM TENTATIVASENHA WHERE CDOPERADOR = ?") + ForUpdate(db), {counted});
    if (!row.next())
        throw EStoreError(QStringLiteral("A contagem de senhas de %1 sumiu no meio da verificação.").arg(counted));
    const int failures = row.value(0).toInt();
    const QDateTime until = Parse(row.value(1));
    QStringList origins = row.value(2).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);

    Run(db, QStringLiteral("INSERT INTO TENTATIVAORIGEM (DSORIGEM, QTFALHAS) VALUES (?, 0) ON CONFLICT (DSORIGEM) DO NOTHING"), {address});
    TRows peerRow = Run(db, QStringLiteral("SELECT QTFALHAS, DTULTFALHA, DTBLOQUEIO FROM TENTATIVAORIGEM WHERE DSORIGEM = ?") + ForUpdate(db), {address});
    if (!peerRow.next())
        throw EStoreError(QStringLiteral("A contagem de senhas do endereço %1 sumiu no meio da verificação.").arg(address));
    const TPeerFailures recent = Recent(PeerRow(peerRow), now, policy);

    if (const auto refused = Refusal(recent, now))
        return *refused;
    if (until.isValid() && until > now)
        return {TPasswordVerdict::Locked, until, LockedText(operatorCode, until, now)};
    if (right) {
        // A success starts the operator's count afresh (reset, not deleted: a check of the same
        // operator waiting for the row finds it). The address's count is left to fade: a guesser
        // with an account of his own gains nothing by logging in between guesses.
        ForgetFailures(db, counted);
        return {TPasswordVerdict::Right};
    }

    // A failure after a lock that is over starts a fresh count.
    const int peerCounting = recent.failures + 1;
    const QDateTime end = now.addSecs(qint64(policy.lockoutMinutes) * 60);
    Run(db, QStringLiteral("UPDATE TENTATIVAORIGEM SET QTFALHAS = ?, DTULTFALHA = ?, DTBLOQUEIO = ? WHERE DSORIGEM = ?"),
        {peerCounting, PreciseStamp(now), peerCounting >= policy.lockoutAfter ? QVariant(PreciseStamp(end)) : QVariant(), address});

    if (until.isValid())
        origins.clear();
    if (!origins.contains(address) && origins.size() < 8)
        origins << address;
    const int counting = (until.isValid() ? 0 : failures) + 1;
    const bool locks = counting >= policy.lockoutAfter && origins.size() >= kLockingAddresses;
    Run(db, QStringLiteral("UPDATE TENTATIVASENHA SET QTFALHAS = ?, DTBLOQUEIO = ?, DSORIGENS = ? WHERE CDOPERADOR = ?"),
        {counting, locks ? QVariant(PreciseStamp(end)) : QVariant(), origins.join(QLatin1Char(' ')), counted});
    return {TPasswordVerdict::Wrong};
}

namespace Sessions {

bool Unlock(QSqlDatabase& db, const QString& operatorCode)
{
    const QString counted = CountedCode(operatorCode);
    TRows row = Run(db, QStringLiteral("SELECT QTFALHAS, DTBLOQUEIO, DSORIGENS FROM TENTATIVASENHA WHERE CDOPERADOR = ?") + ForUpdate(db), {counted});
    if (!row.next())
        return false;
    const bool anything = row.value(0).toInt() > 0 || !row.isNull(1);
    for (const QString& address : row.value(2).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        Run(db, QStringLiteral("UPDATE TENTATIVAORIGEM SET QTFALHAS = 0, DTULTFALHA = NULL, DTBLOQUEIO = NULL WHERE DSORIGEM = ?"), {address});
    ForgetFailures(db, counted);
    return anything;
}

} // namespace Sessions

QString LockedText(const QString& operatorCode, const QDateTime& until, const QDateTime& now)
{
    const qint64 minutes = std::max<qint64>(1, qint64(std::ceil(double(now.secsTo(until)) / 60.0)));
    return QStringLiteral("O operador %1 está bloqueado por excesso de tentativas de senha. Tente novamente em %2 minuto(s).")
        .arg(operatorCode.trimmed())
        .arg(minutes);
}
