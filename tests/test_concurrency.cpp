// Faults between threads and between servers of one store: each case starts its rivals at the
// same moment, on two stores' connections (two servers), and checks that they are judged one
// after the other.
#include "ServerFixture.h"

#include "Errors.h"
#include "Sessions.h"
#include "Variants.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QUrl>

#include <arpa/inet.h>
#include <latch>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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

// Ten wrong passwords at once, each from an address of its own: the first five are judged and
// lock the operator (his failures come from many addresses), the others find him locked.
TEST_P(Concurrency, SimultaneousWrongPasswordsAreJudgedOneAfterTheOther)
{
    const TSessionPolicy policy;
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<TPasswordVerdict> verdicts(10);
    AtOnce(10, [&](QSqlDatabase& db, int i) {
        verdicts[size_t(i)] = RecordPasswordCheck(db, u"OPER1"_s, u"10.0.0.%1"_s.arg(i), false, now, policy).verdict;
    });
    EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), TPasswordVerdict::Wrong), policy.lockoutAfter);
    EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), TPasswordVerdict::Locked), 10 - policy.lockoutAfter);

    // A right password judged meanwhile does not lift the lock.
    std::vector<TPasswordVerdict> right(2);
    AtOnce(2, [&](QSqlDatabase& db, int i) { right[size_t(i)] = RecordPasswordCheck(db, u"OPER1"_s, u"10.0.1.%1"_s.arg(i), true, now, policy).verdict; });
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

// One supervisor's word, two approvals of one session at once, for two quotes above their
// ceiling: the word serves one of them.
TEST_P(Concurrency, OneSupervisorsWordServesOneOfTwoSimultaneousApprovals)
{
    Exec(u"UPDATE ORCAEVENTO SET VRDESCORCEVE = 5000 WHERE NRORCAEVENTO = '0000000102'"_s);
    const QString token = OpenSession(u"OPER1"_s);
    const auto call = [&](const char* object, const char* method, const QVariantList& args) {
        return objects->Dispatch({QString::fromLatin1(object), QString::fromLatin1(method), args, {}, {}, token});
    };
    ASSERT_TRUE(call("CRV.rdmHost", "ConfSenha", {u"SUP1"_s, u"sup1"_s}).result.toBool());
    const auto approval = [](const char* number) {
        return QVariantList{QString::fromLatin1(number), u"01"_s, u"0001"_s, u"OPER1"_s, u"Av. Boa Viagem, 1000"_s, u"1058"_s, u"PE"_s, u"2611"_s,
                            u"0000000001"_s, QString(), u"T"_s, u"J11222333000181"_s, QString(), QString()};
    };
    std::vector<TRpcReply> replies(2);
    std::latch start(2);
    std::thread first([&] {
        start.arrive_and_wait();
        replies[0] = call("ORE00400.rdmAprovaOrca", "SetAprova", approval("0000000102"));
    });
    std::thread second([&] {
        start.arrive_and_wait();
        replies[1] = call("ORE00400.rdmAprovaOrca", "SetAprova", approval("0000000103"));
    });
    first.join();
    second.join();
    EXPECT_EQ(int(VarIsFail(replies[0].result)) + int(VarIsFail(replies[1].result)), 1);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM ORCAEVENTO WHERE NRORCAEVENTO IN ('0000000102', '0000000103') AND NRSEQORCAEVE = '01' AND IDSITUORCEVE = '2'"_s).toInt(), 1);
}

// The schema gives every numbering its row.
TEST_P(Concurrency, EveryNumberingHasItsRowFromTheStart)
{
    for (const char* counter : {"GERACAO", "PEDIDO", "PROPOSTAPGTO", "PRODUTO"})
        EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM NUMERADOR WHERE NMCHAVE = ?"_s, {QString::fromLatin1(counter)}).toInt(), 1) << counter;
}

// A TCP relay to a port of loopback that, once cut, keeps every connection open and passes
// nothing more: a database behind a network that stopped delivering, which no keepalive
// notices since the relay's end still answers.
class Relay {
public:
    explicit Relay(quint16 target) : m_target(target)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 16);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_accepting = std::thread([this] { accept(); });
    }
    ~Relay()
    {
        m_stop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_accepting.join();
        for (std::thread& t : m_pipes)
            t.join();
    }
    quint16 Port() const { return m_port; }
    void Cut() { m_cut = true; }

private:
    void accept()
    {
        for (;;) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0 || m_stop)
                return;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(m_target);
            ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_pipes.emplace_back([this, client, server] { pass(client, server); });
        }
    }
    void pass(int a, int b)
    {
        char buffer[16384];
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        while (!m_stop) {
            if (::poll(fds, 2, 100) <= 0 || m_cut)
                continue;
            for (int i = 0; i < 2; ++i)
                if (fds[i].revents & (POLLIN | POLLHUP)) {
                    const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                    if (n <= 0 || ::send(fds[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) != n) {
                        ::close(a);
                        ::close(b);
                        return;
                    }
                }
        }
        ::close(a);
        ::close(b);
    }

    quint16 m_target, m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stop{false}, m_cut{false};
    std::thread m_accepting;
    std::vector<std::thread> m_pipes;
};

QByteArray Post(const char* object, const QByteArray& body, const QByteArray& token = {})
{
    QByteArray head = "POST /rpc/" + QByteArray(object) + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!token.isEmpty())
        head += "Authorization: Bearer " + token + "\r\n";
    return head + "\r\n" + body;
}

// A stop while the database has stopped answering a call: the call does not hold it for good.
TEST_P(Concurrency, AStopWithACallStuckOnTheDatabaseEndsWithinItsWait)
{
    if (store->dialect() != TStore::PostgreSQL)
        GTEST_SKIP() << "an embedded database cannot stop answering";
    const QUrl database(store->url());
    Relay relay(quint16(database.port(5432)));
    QUrl through = database;
    through.setPort(relay.Port());
    through.setPassword(u"segredo"_s);   // the test's database trusts loopback: it is only shown, or not

    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + u"/ore-server"_s,
                 {u"--db"_s, through.toString(), u"--listen"_s, u"127.0.0.1:0"_s, u"--drain-seconds"_s, u"1"_s});
    ASSERT_TRUE(process.waitForReadyRead(15000)) << process.readAllStandardError().toStdString();
    const QByteArray banner = process.readAllStandardOutput();
    const quint16 port = quint16(banner.mid(banner.lastIndexOf(':') + 1).split(',').first().toInt());
    ASSERT_GT(port, 0) << banner.toStdString();
    EXPECT_FALSE(banner.contains("segredo")) << "the database's password is never printed";

    QTcpSocket client;
    client.connectToHost(u"127.0.0.1"_s, port);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(Post("CRV.rdmHost", R"({"jsonrpc":"2.0","id":1,"method":"Login","params":["OPER1","oper1","0001"]})"));
    QByteArray answer;
    while (!answer.contains("}}") && !answer.contains("\"}") && client.waitForReadyRead(10000))
        answer += client.readAll();
    const qsizetype at = answer.indexOf("\"result\":\"");
    ASSERT_GE(at, 0) << answer.toStdString();
    const QByteArray token = answer.mid(at + 10, 64);

    relay.Cut();
    client.write(Post("CRV.rdmHost", R"({"jsonrpc":"2.0","id":2,"method":"ListaOrcamentos","params":["0001"]})", token));
    client.flush();
    EXPECT_FALSE(client.waitForReadyRead(1500)) << "the call is stuck on the database";

    process.terminate();
    const bool ended = process.waitForFinished(15000);
    if (!ended)
        process.kill();
    ASSERT_TRUE(ended) << "the stop waited for the stuck call";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardError().contains("chamadas ainda em curso"));
}

// A database that cannot be reached leaves no connection behind for each open that failed.
TEST_P(Concurrency, FailedOpensLeaveNothingBehind)
{
    if (store->dialect() != TStore::PostgreSQL)
        GTEST_SKIP() << "an embedded database is always reached";
    Relay relay(1);   // nothing listens on port 1: every connection the relay takes is dropped
    QUrl nowhere(store->url());
    nowhere.setPort(relay.Port());
    TStore unreachable(nowhere.toString());
    for (int i = 0; i < 5; ++i)
        EXPECT_THROW(unreachable.connection(), EHostError);
    EXPECT_EQ(unreachable.connectionCount(), 0);
}

} // namespace
