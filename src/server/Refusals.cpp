#include "Refusals.h"

#include <QStringList>

#include <algorithm>

namespace {

qint64 MinuteOf(const QDateTime& moment)
{
    const qint64 ms = moment.toMSecsSinceEpoch();
    return ms - ms % 60000;
}

// A caller's text in the journal: the method's name and the reason as the server gave it, cut
// short, since the name comes from the caller.
QString Named(const QString& object, const QString& method, const QString& reason)
{
    const QString call = method.isEmpty() ? object : object + QLatin1Char('.') + method;
    return (call.size() > 80 ? call.left(80) + QStringLiteral("…") : call) + QStringLiteral(": ") + reason.left(200);
}

} // namespace

const QString TRefusalTally::kOtherPeers = QStringLiteral("outros endereços");

void TRefusalTally::Count(const QString& peer, const QString& object, const QString& method, const QString& reason, const QDateTime& now)
{
    const qint64 start = MinuteOf(now);
    const QMutexLocker lock(&m_mutex);
    auto key = std::make_pair(start, peer.left(64));
    if (!m_minutes.count(key) && m_minutes.size() >= size_t(kPeers))
        key.second = kOtherPeers;
    TMinute& minute = m_minutes[key];
    ++minute.total;
    const QString named = Named(object, method, reason);
    auto it = std::find_if(minute.named.begin(), minute.named.end(), [&](const auto& n) { return n.first == named; });
    if (it != minute.named.end())
        ++it->second;
    else if (int(minute.named.size()) < kNamed)
        minute.named.emplace_back(named, 1);
    else
        ++minute.others;
    const qint64 end = start + 60000;
    if (m_firstEnd.load() == 0 || end < m_firstEnd.load())
        m_firstEnd = end;
}

std::vector<TJournalEntry> TRefusalTally::Take(const QDateTime& now, bool all)
{
    std::vector<TJournalEntry> entries;
    const qint64 first = m_firstEnd.load();
    if (first == 0 || (!all && now.toMSecsSinceEpoch() < first))
        return entries;
    const QMutexLocker lock(&m_mutex);
    qint64 nextEnd = 0;
    for (auto it = m_minutes.begin(); it != m_minutes.end();) {
        const auto& [start, peer] = it->first;
        const TMinute& minute = it->second;
        if (!all && now.toMSecsSinceEpoch() < start + 60000) {
            nextEnd = nextEnd == 0 ? start + 60000 : std::min(nextEnd, start + 60000);
            ++it;
            continue;
        }
        QStringList calls;
        for (const auto& [named, count] : minute.named)
            calls << QStringLiteral("%1 (%2×)").arg(named).arg(count);
        if (minute.others > 0)
            calls << QStringLiteral("outras chamadas (%1×)").arg(minute.others);
        const QDateTime moment = now.addMSecs(start - now.toMSecsSinceEpoch());   // in the clock's own time zone
        TJournalEntry entry{moment, {}, {}, QStringLiteral("-"), QStringLiteral("-")};
        if (minute.named.size() == 1 && minute.others == 0) {
            // One call refused over and over: the entry names it, as a refusal of it would.
            const QString& named = minute.named.front().first;
            const QString call = named.left(named.indexOf(QStringLiteral(": ")));
            const qsizetype dot = call.lastIndexOf(QLatin1Char('.'));
            entry.object = dot > 0 ? call.left(dot) : call;
            entry.method = dot > 0 ? call.mid(dot + 1) : QStringLiteral("-");
        }
        entry.outcome = QStringLiteral("refused");
        entry.peer = peer;
        entry.message = QStringLiteral("%1 chamada(s) recusada(s) sem sessão, de %2, entre %3 e %4: %5")
                            .arg(minute.total)
                            .arg(peer, moment.toString(QStringLiteral("HH:mm")), moment.addSecs(60).toString(QStringLiteral("HH:mm")),
                                 calls.join(QStringLiteral("; ")));
        entries.push_back(std::move(entry));
        it = m_minutes.erase(it);
    }
    m_firstEnd = nextEnd;
    return entries;
}
