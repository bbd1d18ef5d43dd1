#include "lookup/LookupClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <vector>

#include "lookup/CookieStore.h"
#include "lookup/HttpUrl.h"
#include "lookup/RequestWriter.h"
#include "lookup/ResponseReader.h"
#include "table/FileError.h"
#include "text/FileDescriptor.h"

namespace lookup {

namespace {

// What a wait, a write or a read on the socket came to.
struct Io {
    enum Kind { Ok, Timeout, Aborted, Closed, Failed };
    Kind kind = Ok;
    int err = 0;  // errno, when Failed

    static Io Error(int e) { return {Failed, e}; }
    explicit operator bool() const { return kind != Ok; }  // true when it failed
    // The system's text for a failure, in GBK.
    std::string Message() const { return table::SystemErrorText(err); }
};

// A numeric IPv4 or IPv6 address with a port, ready for connect().
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

std::optional<SocketAddress> ParseAddress(const std::string& address, std::uint16_t port) {
    SocketAddress a;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&a.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&a.storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        a.length = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        a.length = sizeof(sockaddr_in6);
    } else {
        return std::nullopt;
    }
    return a;
}

}  // namespace

// One socket and one way to wait on it: every connect, write and read waits in ppoll() for the
// socket and for an eventfd together, and Abort() cancels by writing that eventfd. A keep-alive
// exchange costs four system calls: the idle check, send, the wait for the answer and recv.
struct LookupClient::Impl {
    using Clock = std::chrono::steady_clock;

    Impl(const LookupLimits& l, ResolveHost resolve)
        : limits(l),
          resolver(std::move(resolve)),
          abortSignal(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          cookies(l) {
        if (!abortSignal.valid()) {
            throw LookupError("Cannot create the lookup client: " + table::SystemErrorText(errno));
        }
    }

    std::string Fetch(std::string_view url);

    void Close() {
        if (socket.valid()) {
            ::shutdown(socket.get(), SHUT_RDWR);
            socket.Close();
        }
    }

    // Waits for socket fd to become ready for `events` until `until`, or until Abort().
    Io Wait(int fd, short events, Clock::time_point until);
    // Writes all of bytes, or fails with the first error (a timeout once `until` has passed).
    Io WriteAll(std::string_view bytes, Clock::time_point until);
    // One read of what has arrived, waiting for it until `until`; Closed when the peer closed
    // or reset the connection. With waitFirst the socket is polled before the read (the answer
    // to a request just sent is not there yet), otherwise the read is tried first.
    Io ReadSome(std::size_t& n, Clock::time_point until, bool waitFirst);

    // True when the peer has closed the idle connection (or sent something nobody asked for).
    bool PeerGone() {
        pollfd p{socket.get(), POLLIN, 0};
        const int rc = ::poll(&p, 1, 0);
        return rc != 0;  // readable, hung up, or poll failed: not reusable
    }

    void Connect(const HttpUrl& url);
    // One non-blocking connect to address, waited for until deadline; the socket is kept
    // when it succeeds.
    Io ConnectTo(const SocketAddress& address, Clock::time_point deadline);
    // Reads the response to the request just sent into reader, storing cookies as they come.
    void Read(ResponseReader& reader, const std::string& host, Clock::time_point deadline,
              bool& peerClosed, bool& leftover);

    // Abort() from another thread: the eventfd wakes the exchange's wait, and every further
    // step of that exchange fails at once until it ends.
    void BeginFlight();
    bool EndFlight();  // true when the exchange was aborted
    void Abort();

    LookupLimits limits;
    HostResolver resolver;
    std::mutex exchange;  // one whole exchange at a time
    std::mutex flight;    // guards inFlight against Abort()
    bool inFlight = false;
    std::atomic<bool> aborting{false};
    text::FileDescriptor abortSignal;  // eventfd written by Abort() to wake Wait()
    text::FileDescriptor socket;
    std::string connectedHost;
    std::uint16_t connectedPort = 0;
    bool keepOpen = false;
    CookieStore cookies;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    // The cookie list and the request head are written into the same strings for every
    // request: a store full of long cookies makes heads of hundreds of kilobytes, and fresh
    // strings of that size cost page faults on every request.
    std::string cookieList;
    std::string head;
};

namespace {

// Gives back a string's memory at the end of a scope when it grew beyond what is worth keeping
// for the next request (1 MiB: a few long cookie lines).
class ReleaseWhenLarge {
public:
    explicit ReleaseWhenLarge(std::string& s) : s_(s) {}
    ~ReleaseWhenLarge() {
        if (s_.capacity() > (std::size_t{1} << 20)) {
            std::string().swap(s_);
        }
    }
    ReleaseWhenLarge(const ReleaseWhenLarge&) = delete;
    ReleaseWhenLarge& operator=(const ReleaseWhenLarge&) = delete;

private:
    std::string& s_;
};

}  // namespace

void LookupClient::Impl::Connect(const HttpUrl& url) {
    // The one limit covers resolving the name and connecting to its addresses.
    const auto deadline = Clock::now() + limits.connect;
    std::vector<SocketAddress> addresses;
    for (const std::string& address : resolver.Resolve(url.host, deadline)) {
        if (auto parsed = ParseAddress(address, url.port)) {
            addresses.push_back(*parsed);
        }
    }
    if (addresses.empty()) {
        throw LookupError("Cannot resolve host " + url.host + ": no address",
                          LookupError::Kind::NameNotFound);
    }
    // Each address in turn until one connects; the last failure is the one reported.
    Io connected;
    for (const SocketAddress& address : addresses) {
        connected = ConnectTo(address, deadline);
        if (!connected || connected.kind == Io::Timeout || connected.kind == Io::Aborted) {
            break;
        }
    }
    if (connected.kind == Io::Timeout) {
        throw LookupError("Connect timed out.", LookupError::Kind::ConnectTimeout);
    }
    if (connected.kind == Io::Aborted) {
        throw LookupError("Lookup stopped.", LookupError::Kind::Stopped);
    }
    if (connected) {
        throw LookupError("Cannot connect to " + url.HostHeader() + ": " + connected.Message(),
                          connected.err == ECONNREFUSED ? LookupError::Kind::Refused
                                                        : LookupError::Kind::ConnectFailed);
    }
    connectedHost = url.host;
    connectedPort = url.port;
}

Io LookupClient::Impl::ConnectTo(const SocketAddress& address, Clock::time_point deadline) {
    text::FileDescriptor fd(
        ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        return Io::Error(errno);
    }
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) !=
        0) {
        if (errno != EINPROGRESS) {
            return Io::Error(errno);
        }
        if (const Io ready = Wait(fd.get(), POLLOUT, deadline)) {
            return ready;
        }
        int err = 0;
        socklen_t length = sizeof err;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &length) != 0) {
            err = errno;
        }
        if (err != 0) {
            return Io::Error(err);
        }
    }
    socket = std::move(fd);
    return {};
}

Io LookupClient::Impl::Wait(int fd, short events, Clock::time_point until) {
    std::array<pollfd, 2> fds{pollfd{fd, events, 0}, pollfd{abortSignal.get(), POLLIN, 0}};
    for (;;) {
        if (aborting) {
            return {Io::Aborted};
        }
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) {
            return {Io::Timeout};
        }
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{static_cast<time_t>(s.count()),
                               static_cast<long>((left - s).count())};
        const int rc = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (rc < 0 && errno != EINTR) {
            return Io::Error(errno);
        }
        if (rc > 0 && fds[1].revents != 0) {
            return {Io::Aborted};
        }
        if (rc > 0 && fds[0].revents != 0) {
            return {};  // ready, or an error or hang-up that the next call reports
        }
    }
}

Io LookupClient::Impl::WriteAll(std::string_view bytes, Clock::time_point until) {
    const int fd = socket.get();
    while (!bytes.empty()) {
        if (aborting) {
            return {Io::Aborted};
        }
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const Io ec = Wait(fd, POLLOUT, until)) {
                return ec;
            }
        } else if (errno != EINTR) {
            return Io::Error(errno);
        }
    }
    return {};
}

Io LookupClient::Impl::ReadSome(std::size_t& n, Clock::time_point until, bool waitFirst) {
    const int fd = socket.get();
    if (waitFirst) {
        if (const Io ec = Wait(fd, POLLIN, until)) {
            return ec;
        }
    }
    for (;;) {
        if (aborting) {
            return {Io::Aborted};
        }
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            n = static_cast<std::size_t>(got);
            return {};
        }
        if (got == 0) {
            return {Io::Closed};
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const Io ec = Wait(fd, POLLIN, until)) {
                return ec;
            }
        } else if (errno == ECONNRESET) {
            return {Io::Closed};
        } else if (errno != EINTR) {
            return Io::Error(errno);
        }
    }
}

void LookupClient::Impl::Read(ResponseReader& reader, const std::string& host,
                              Clock::time_point deadline, bool& peerClosed, bool& leftover) {
    auto storeCookies = [&] {
        const auto now = CookieClock::now();
        for (const std::string& header : reader.TakeSetCookies()) {
            cookies.Add(header, host, now);
        }
    };
    bool firstRead = true;
    try {
        while (!reader.Done()) {
            // An error page is waited for briefly: the failure is already certain.
            const bool errorPage = reader.HeadDone() && !reader.Success();
            std::size_t n = 0;
            const Io ec = ReadSome(
                n,
                std::min(Clock::now() + (errorPage ? limits.failureBodyPiece : limits.stall),
                         deadline),
                firstRead);
            firstRead = false;
            if (ec.kind == Io::Closed) {
                peerClosed = true;
                reader.FeedEnd();
                break;
            }
            if (ec.kind == Io::Timeout) {
                throw LookupError("Read timed out.", Clock::now() >= deadline
                                                         ? LookupError::Kind::ExchangeTimeout
                                                         : LookupError::Kind::ReadTimeout);
            }
            if (ec) {
                throw LookupError("Socket error: " + ec.Message());
            }
            if (reader.Feed(std::string_view(buffer.data(), n)) < n) {
                leftover = true;
            }
            storeCookies();
        }
    } catch (...) {
        storeCookies();  // cookies of a head that arrived before the failure are kept
        throw;
    }
}

std::string LookupClient::Impl::Fetch(std::string_view url) {
    const HttpUrl parts = ParseHttpUrl(url);

    cookies.RemoveExpired(CookieClock::now());
    const ReleaseWhenLarge keepListSmall(cookieList), keepHeadSmall(head);
    cookies.RequestCookieList(cookieList, parts.host, parts.Directory());
    WriteRequestHead(head, parts.target, parts.HostHeader(), cookieList);

    if (socket.valid() &&
        (!keepOpen || connectedHost != parts.host || connectedPort != parts.port || PeerGone())) {
        Close();
    }
    keepOpen = false;
    if (!socket.valid()) {
        Connect(parts);
    }

    ResponseReader reader(limits);
    bool peerClosed = false;
    bool leftover = false;
    // The whole exchange ends by this time, however steadily the bytes come.
    const Clock::time_point deadline = Clock::now() + limits.exchange;
    try {
        const Io written = WriteAll(head, std::min(Clock::now() + limits.stall, deadline));
        if (written.kind == Io::Timeout) {
            throw LookupError("Write timed out.", LookupError::Kind::WriteTimeout);
        }
        if (written) {
            throw LookupError("Socket error: " + written.Message());
        }
        Read(reader, parts.host, deadline, peerClosed, leftover);
    } catch (...) {
        Close();
        if (reader.HeadDone() && !reader.Success()) {
            throw HttpError(reader.Status(), reader.StatusLine(), reader.TakeBody());
        }
        throw;
    }

    keepOpen = !peerClosed && !leftover && reader.KeepAlive();
    if (!keepOpen) {
        Close();
    }
    if (!reader.Success()) {
        throw HttpError(reader.Status(), reader.StatusLine(), reader.TakeBody());
    }
    return reader.TakeBody();
}

void LookupClient::Impl::BeginFlight() {
    std::lock_guard lock(flight);
    inFlight = true;
    aborting = false;
}

bool LookupClient::Impl::EndFlight() {
    std::lock_guard lock(flight);
    inFlight = false;
    if (!aborting.exchange(false)) {
        return false;
    }
    std::uint64_t count = 0;  // take Abort()'s signal back, so the next exchange starts quiet
    [[maybe_unused]] const ssize_t n = ::read(abortSignal.get(), &count, sizeof count);
    return true;
}

void LookupClient::Impl::Abort() {
    std::lock_guard lock(flight);
    if (!inFlight || aborting) {
        return;
    }
    aborting = true;
    // Wakes the exchange's wait for the socket.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(abortSignal.get(), &one, sizeof one);
}

LookupClient::LookupClient() : LookupClient(LookupLimits{}) {}

LookupClient::LookupClient(const LookupLimits& limits, ResolveHost resolve)
    : impl_(std::make_unique<Impl>(limits, std::move(resolve))) {}

LookupClient::~LookupClient() {
    impl_->Close();
}

std::string LookupClient::FetchPage(std::string_view url) {
    std::lock_guard lock(impl_->exchange);
    impl_->BeginFlight();
    try {
        std::string page = impl_->Fetch(url);
        impl_->EndFlight();
        return page;
    } catch (...) {
        if (impl_->EndFlight()) {
            impl_->Close();
            throw LookupError("Lookup stopped.", LookupError::Kind::Stopped);
        }
        throw;
    }
}

void LookupClient::Abort() {
    impl_->Abort();
}

}  // namespace lookup
