// Faults between threads and between servers of one store: each case starts its rivals at the
// same moment, on two stores' connections (two servers), and checks that they are judged one
// after the other.
#include "ServerFixture.h"

#include "Errors.h"
#include "Sessions.h"

#include <latch>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

class Concurrency : public ServerFixture {
protected:
    // Runs `work(store, i)` on `count` threads at once, alternately on this test's store and on a
    // second store of the same database, each in a transaction that may write.
    void AtOnce(int count, const std::function<void(QSqlDatabase& db, int i)>& work)
    {
        TStore second(store->url());
        std::latch start(count);
        std::vector<std::thread> threads;
        for (int i = 0; i < count; ++i)
            threads.emplace_back([&, i] {
                TStore& mine = i % 2 ? second : *store;
                start.arrive_and_wait();
                mine.transaction([&](QSqlDatabase& db) { work(db, i); });
            });
        for (std::thread& t : threads)
            t.join();
    }
};
SERVER_BACKENDS(Concurrency);

// Ten wrong passwords at once: the first five are judged and lock the operator, the others
// find him locked.
TEST_P(Concurrency, SimultaneousWrongPasswordsAreJudgedOneAfterTheOther)
{
    const TSessionPolicy policy;
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<TPasswordVerdict> verdicts(10);
    AtOnce(10, [&](QSqlDatabase& db, int i) { verdicts[size_t(i)] = RecordPasswordCheck(db, u"OPER1"_s, false, now, policy); });
    EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), TPasswordVerdict::Wrong), policy.lockoutAfter);
    EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), TPasswordVerdict::Locked), 10 - policy.lockoutAfter);

    // A right password judged meanwhile does not lift the lock.
    std::vector<TPasswordVerdict> right(2);
    AtOnce(2, [&](QSqlDatabase& db, int i) { right[size_t(i)] = RecordPasswordCheck(db, u"OPER1"_s, true, now, policy); });
    EXPECT_EQ(right, (std::vector{TPasswordVerdict::Locked, TPasswordVerdict::Locked}));
}

// The first uses of a numbering, at once, on a store that has no row for it yet.
TEST_P(Concurrency, SimultaneousFirstUsesOfANumberingTakeOneNumberEach)
{
    Exec(u"DELETE FROM NUMERADOR WHERE NMCHAVE = 'PRODUTO'"_s);
    std::vector<QString> numbers(10);
    AtOnce(10, [&](QSqlDatabase& db, int i) { numbers[size_t(i)] = NextNumber(db, u"PRODUTO"_s, 5); });
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<QString>{u"00001"_s, u"00002"_s, u"00003"_s, u"00004"_s, u"00005"_s, u"00006"_s, u"00007"_s, u"00008"_s,
                                             u"00009"_s, u"00010"_s}));
}

// The schema gives every numbering its row.
TEST_P(Concurrency, EveryNumberingHasItsRowFromTheStart)
{
    for (const char* counter : {"GERACAO", "PEDIDO", "PROPOSTAPGTO", "PRODUTO"})
        EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM NUMERADOR WHERE NMCHAVE = ?"_s, {QString::fromLatin1(counter)}).toInt(), 1) << counter;
}

} // namespace
