// A TCP relay on loopback that holds every chunk for a fixed time in each direction, so that a
// benchmark can see what round trips cost a client without sending anything off the machine.
// Ends (FIN) and resets travel with the same delay, after the data before them. The handshake on
// loopback is instant, so a new connection's first bytes from the client wait one round trip more,
// as they would behind a SYN and its answer.
// Usage: bench_delay_relay LISTEN-PORT TARGET-PORT DELAY-MS   (one way: the round trip is twice it)
// Listens on 127.0.0.1:LISTEN-PORT and connects each client to 127.0.0.1:TARGET-PORT.
#include <queue>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Reading stops while this much waits in one direction; loopback moves about this in the delay.
constexpr size_t QueueCap = 32u << 20;
constexpr size_t ReadSize = 256u << 10;

struct TChunk {
    Clock::time_point Due;
    std::string Bytes;
    size_t Sent = 0;
};

struct TDirection {
    int From = -1;
    int To = -1;
    std::deque<TChunk> Queue;
    size_t Queued = 0;
    bool Ended = false; // From sent its end (or reset): nothing more is read
    bool Reset = false; // ... and it was a reset
    Clock::time_point EndDue;
    bool EndPassed = false;
    bool WaitsWritable = false;
};

struct TPair {
    uint64_t Id = 0;
    int Client = -1;
    int Target = -1;
    bool Connecting = true;
    Clock::time_point Accepted;
    TDirection Up;   // client to target
    TDirection Down; // target to client
    uint32_t Mask[2] = {0, 0};
    bool Registered[2] = {false, false};
};

void Fail(const char *what)
{
    std::fprintf(stderr, "bench_delay_relay: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void SetNoDelay(int fd)
{
    // The relay stands for a link, not a sender: it must not hold small writes back itself.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

sockaddr_in Loopback(int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

class TRelay
{
public:
    TRelay(int listenPort, int targetPort, std::chrono::milliseconds delay)
        : FTarget(Loopback(targetPort)), FDelay(delay)
    {
        FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (FEpoll < 0)
            Fail("epoll_create1");
        FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in sa = Loopback(listenPort);
        if (::bind(FListener, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0)
            Fail("bind");
        if (::listen(FListener, 1024) != 0)
            Fail("listen");
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = FListener;
        ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, FListener, &ev);
    }

    [[noreturn]] void Run()
    {
        std::vector<epoll_event> events(512);
        for (;;) {
            int timeout = -1;
            if (!FTimers.empty()) {
                const auto wait = FTimers.top().first - Clock::now();
                // Rounded up: a chunk never leaves before its time.
                timeout = std::max<int>(
                    0, static_cast<int>((std::chrono::duration_cast<std::chrono::microseconds>(wait).count() + 999)
                                        / 1000));
            }
            const int n = ::epoll_wait(FEpoll, events.data(), static_cast<int>(events.size()), timeout);
            if (n < 0 && errno != EINTR)
                Fail("epoll_wait");
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (fd == FListener) {
                    AcceptAll();
                    continue;
                }
                const auto found = FByFd.find(fd);
                if (found != FByFd.end())
                    Handle(found->second, fd, events[i].events);
            }
            const auto now = Clock::now();
            while (!FTimers.empty() && FTimers.top().first <= now) {
                const uint64_t id = FTimers.top().second;
                FTimers.pop();
                if (TPair *p = Find(id))
                    Pump(*p);
            }
        }
    }

private:
    TPair *Find(uint64_t id)
    {
        const auto found = FPairs.find(id);
        return found == FPairs.end() ? nullptr : found->second.get();
    }

    void AcceptAll()
    {
        for (;;) {
            const int client = ::accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR)
                    std::fprintf(stderr, "bench_delay_relay: accept: %s\n", std::strerror(errno));
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return;
            }
            const int target = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (target < 0) {
                std::fprintf(stderr, "bench_delay_relay: socket: %s\n", std::strerror(errno));
                ::close(client);
                continue;
            }
            SetNoDelay(client);
            SetNoDelay(target);
            auto p = std::make_unique<TPair>();
            p->Id = ++FLastId;
            p->Accepted = Clock::now();
            p->Client = client;
            p->Target = target;
            p->Up.From = p->Down.To = client;
            p->Up.To = p->Down.From = target;
            if (::connect(target, reinterpret_cast<const sockaddr *>(&FTarget), sizeof FTarget) == 0)
                p->Connecting = false;
            else if (errno != EINPROGRESS) {
                std::fprintf(stderr, "bench_delay_relay: connect: %s\n", std::strerror(errno));
                ::close(client);
                ::close(target);
                continue;
            }
            FByFd[client] = p->Id;
            FByFd[target] = p->Id;
            TPair &pair = *p;
            FPairs.emplace(p->Id, std::move(p));
            UpdateMasks(pair);
        }
    }

    void Handle(uint64_t id, int fd, uint32_t events)
    {
        TPair *p = Find(id);
        if (!p)
            return;
        if (fd == p->Target && p->Connecting) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0) {
                std::fprintf(stderr, "bench_delay_relay: connect: %s\n", std::strerror(err));
                Drop(*p, true);
                return;
            }
            p->Connecting = false;
        } else if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            (fd == p->Client ? p->Down : p->Up).WaitsWritable = false;
        }
        if (events & (EPOLLIN | EPOLLERR | EPOLLHUP))
            Read(*p, fd == p->Client ? p->Up : p->Down);
        Pump(*p);
    }

    void Read(TPair &p, TDirection &d)
    {
        // A few reads per event, so one fast sender does not starve the others.
        for (int round = 0; round < 4 && !d.Ended && d.Queued < QueueCap; ++round) {
            const ssize_t n = ::recv(d.From, FBuffer.data(), FBuffer.size(), 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n < 0 && errno == EINTR)
                continue;
            auto due = Clock::now() + FDelay;
            if (&d == &p.Up)
                due = std::max(due, p.Accepted + 3 * FDelay);
            FTimers.emplace(due, p.Id);
            if (n <= 0) {
                d.Ended = true;
                d.Reset = n < 0;
                d.EndDue = due;
                return;
            }
            d.Queued += static_cast<size_t>(n);
            d.Queue.push_back({due, std::string(FBuffer.data(), static_cast<size_t>(n))});
        }
    }

    // Sends what is due; false when the pair was dropped.
    bool Flush(TPair &p, TDirection &d)
    {
        if (d.WaitsWritable || (p.Connecting && d.To == p.Target))
            return true;
        const auto now = Clock::now();
        while (!d.Queue.empty() && d.Queue.front().Due <= now) {
            TChunk &c = d.Queue.front();
            const ssize_t n = ::send(d.To, c.Bytes.data() + c.Sent, c.Bytes.size() - c.Sent, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                d.WaitsWritable = true;
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                // The receiver is gone: nothing more can reach it, so the other side learns at once.
                Drop(p, true);
                return false;
            }
            c.Sent += static_cast<size_t>(n);
            if (c.Sent == c.Bytes.size()) {
                d.Queued -= c.Bytes.size();
                d.Queue.pop_front();
            }
        }
        if (d.Queue.empty() && d.Ended && !d.EndPassed && d.EndDue <= now) {
            if (d.Reset) {
                Drop(p, true);
                return false;
            }
            ::shutdown(d.To, SHUT_WR);
            d.EndPassed = true;
        }
        return true;
    }

    void Pump(TPair &p)
    {
        if (!Flush(p, p.Up) || !Flush(p, p.Down))
            return;
        if (p.Up.EndPassed && p.Down.EndPassed) {
            Drop(p, false);
            return;
        }
        UpdateMasks(p);
    }

    static bool WantsRead(const TDirection &d) { return !d.Ended && d.Queued < QueueCap; }

    void UpdateMasks(TPair &p)
    {
        const uint32_t wanted[2] = {
            (WantsRead(p.Up) ? EPOLLIN : 0u) | (p.Down.WaitsWritable ? EPOLLOUT : 0u),
            (p.Connecting ? EPOLLOUT : ((WantsRead(p.Down) ? EPOLLIN : 0u) | (p.Up.WaitsWritable ? EPOLLOUT : 0u))),
        };
        const int fds[2] = {p.Client, p.Target};
        for (int i = 0; i < 2; ++i) {
            if (wanted[i] == p.Mask[i] && p.Registered[i] == (wanted[i] != 0))
                continue;
            epoll_event ev{};
            ev.events = wanted[i];
            ev.data.fd = fds[i];
            // A socket with nothing wanted leaves the set: a hung-up one would wake us without end.
            if (wanted[i] == 0)
                ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, fds[i], nullptr);
            else
                ::epoll_ctl(FEpoll, p.Registered[i] ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fds[i], &ev);
            p.Mask[i] = wanted[i];
            p.Registered[i] = wanted[i] != 0;
        }
    }

    // Closes both sides; reset: as a reset, so that neither side takes it for a proper end.
    void Drop(TPair &p, bool reset)
    {
        for (const int fd : {p.Client, p.Target}) {
            if (reset) {
                const linger l{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            }
            FByFd.erase(fd);
            ::close(fd); // also takes it out of the epoll set
        }
        FPairs.erase(p.Id);
    }

    using TTimer = std::pair<Clock::time_point, uint64_t>;

    sockaddr_in FTarget;
    std::chrono::milliseconds FDelay;
    int FEpoll = -1;
    int FListener = -1;
    uint64_t FLastId = 0;
    std::unordered_map<uint64_t, std::unique_ptr<TPair>> FPairs;
    std::unordered_map<int, uint64_t> FByFd;
    std::priority_queue<TTimer, std::vector<TTimer>, std::greater<>> FTimers;
    std::vector<char> FBuffer = std::vector<char>(ReadSize);
};

int Number(const char *text, int low, int high)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) {
        std::fprintf(stderr, "bench_delay_relay: not a number from %d to %d: %s\n", low, high, text);
        std::exit(2);
    }
    return static_cast<int>(v);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LISTEN-PORT TARGET-PORT DELAY-MS\n", argv[0]);
        return 2;
    }
    const int listenPort = Number(argv[1], 1, 65535);
    const int targetPort = Number(argv[2], 1, 65535);
    const int delay = Number(argv[3], 0, 60000);
    // Chunks come and go by the thousand: kept in the heap and the heap kept whole, they cost no
    // mapping and no page faults each.
    ::mallopt(M_MMAP_THRESHOLD, 2 * static_cast<int>(ReadSize));
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Two descriptors for each relayed connection: hundreds need more than the usual 1024.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    TRelay(listenPort, targetPort, std::chrono::milliseconds(delay)).Run();
}
