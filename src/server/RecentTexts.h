#pragma once
// The last few texts of one column of a statement's rows: a text met again is shared, not
// made anew (keys, codes, units and names repeat row after row). A column whose texts do not
// repeat soon stops being looked at. Select's readers use one per column.

#include <QString>

#include <cstring>
#include <iterator>

class TRecentTexts {
public:
    QString get(const char* utf8, int bytes)
    {
        if (!m_useful || bytes > MaxBytes)
            return QString::fromUtf8(utf8, bytes);
        for (Entry& e : m_entries)
            if (e.length == bytes && std::memcmp(e.bytes, utf8, size_t(bytes)) == 0) {
                ++m_hits;
                return e.text;
            }
        if (++m_misses > 64 && m_hits == 0)
            m_useful = false;
        Entry& slot = m_entries[m_next];
        m_next = (m_next + 1) % std::size(m_entries);
        std::memcpy(slot.bytes, utf8, size_t(bytes));
        slot.length = bytes;
        slot.text = QString::fromUtf8(utf8, bytes);
        return slot.text;
    }

private:
    static constexpr int MaxBytes = 48;
    struct Entry {
        char bytes[MaxBytes];
        int length = -1;
        QString text;
    };
    Entry m_entries[4];
    size_t m_next = 0;
    int m_hits = 0, m_misses = 0;
    bool m_useful = true;
};

