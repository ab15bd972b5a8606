// Round trips on loopback: a tiny remote call through TNetConnection and the RPC server, and
// a plain TCP exchange of the same bytes as the floor; and a hundred tiny calls in a row, which
// should take well under a second.
#include "BenchSupport.h"
#include "NetConnection.h"
#include "RpcServer.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int Calls = 2000;

struct Stats {
    double median, p99;
};

Stats stats(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

// Echo server: answers each message with `reply` bytes.
Stats plainTcp(size_t requestBytes, size_t replyBytes)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener, 1);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    const int one = 1;
    std::thread server([&] {
        const int c = ::accept(listener, nullptr, nullptr);
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<char> in(requestBytes), out(replyBytes, 'x');
        for (int i = 0; i < Calls; ++i) {
            size_t got = 0;
            while (got < requestBytes)
                got += size_t(::recv(c, in.data() + got, requestBytes - got, 0));
            ::send(c, out.data(), out.size(), 0);
        }
        ::close(c);
    });
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<char> out(requestBytes, 'y'), in(replyBytes);
    std::vector<double> us;
    for (int i = 0; i < Calls; ++i) {
        QElapsedTimer t;
        t.start();
        ::send(s, out.data(), out.size(), 0);
        size_t got = 0;
        while (got < replyBytes)
            got += size_t(::recv(s, in.data() + got, replyBytes - got, 0));
        us.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    ::close(s);
    server.join();
    ::close(listener);
    return stats(us);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TRpcServer server([](const TRpcRequest& r) { return TRpcReply::Value(r.params.value(0)); });
    server.Listen();

    TNetConnection net(nullptr, QStringLiteral("netBench"), QStringLiteral("ORE06400.rdmProcOrca"));
    net.Host = QStringLiteral("127.0.0.1");
    net.Port = server.Port();
    for (int i = 0; i < 50; ++i)
        net.Call(QStringLiteral("Ping"), {i});
    std::vector<double> us;
    for (int i = 0; i < Calls; ++i) {
        QElapsedTimer t;
        t.start();
        net.Call(QStringLiteral("Ping"), {i});
        us.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    const Stats call = stats(us);
    const double hundred = bestSeconds(5, [&] {
        for (int i = 0; i < 100; ++i)
            net.Call(QStringLiteral("Ping"), {i});
    });
    server.Stop();

    // The same bytes as a tiny call: request with headers, answer with headers.
    const Stats tcp = plainTcp(230, 120);
    std::printf("loopback round trip (%d calls)\n", Calls);
    std::printf("  tiny remote call : median %7.1f us   p99 %7.1f us\n", call.median, call.p99);
    std::printf("  plain TCP floor  : median %7.1f us   p99 %7.1f us\n", tcp.median, tcp.p99);
    std::printf("  100 tiny calls in a row: %.1f ms (best of 5; target: well under 1000 ms)\n", hundred * 1e3);
    return 0;
}
