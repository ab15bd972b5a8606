#include "SessionCache.h"

quint64 TSessionCache::Heard() const
{
    QMutexLocker lock(&m_mutex);
    return m_heard;
}

bool TSessionCache::Hearing() const
{
    QMutexLocker lock(&m_mutex);
    return m_hearing;
}

void TSessionCache::SetHearing(bool hearing)
{
    QMutexLocker lock(&m_mutex);
    m_hearing = hearing;
    ++m_heard;
    m_entries.clear();
}

void TSessionCache::Changed(const QString& tokenHash)
{
    QMutexLocker lock(&m_mutex);
    ++m_heard;
    if (tokenHash == QLatin1String("*"))
        m_entries.clear();
    else
        m_entries.remove(tokenHash);
}

void TSessionCache::Forget(const QString& tokenHash)
{
    QMutexLocker lock(&m_mutex);
    m_entries.remove(tokenHash);
}

std::optional<TStoredSession> TSessionCache::Find(const QString& tokenHash) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_hearing)
        return std::nullopt;
    const auto it = m_entries.constFind(tokenHash);
    if (it == m_entries.constEnd() || it->until < std::chrono::steady_clock::now())
        return std::nullopt;
    return it->stored;
}

void TSessionCache::Remember(const TStoredSession& stored, quint64 heardBefore)
{
    QMutexLocker lock(&m_mutex);
    if (!m_hearing || m_heard != heardBefore)
        return;
    if (m_entries.size() >= MaxEntries)
        m_entries.clear();
    m_entries.insert(stored.session.tokenHash, {stored, std::chrono::steady_clock::now() + Trust});
}
