#include "lookup/LookupClient.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <cerrno>
#include <mutex>
#include <optional>
#include <vector>

#include "lookup/CookieStore.h"
#include "lookup/HttpUrl.h"
#include "lookup/RequestWriter.h"
#include "lookup/ResponseReader.h"
#include "text/FileDescriptor.h"

namespace lookup {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using boost::system::error_code;

struct LookupClient::Impl {
    using Clock = std::chrono::steady_clock;

    Impl(const LookupLimits& l, ResolveHost resolve)
        : limits(l),
          resolver(std::move(resolve)),
          abortSignal(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          cookies(l) {
        if (!abortSignal.valid()) {
            throw LookupError("Cannot create the lookup client: " +
                              error_code(errno, boost::system::system_category()).message());
        }
    }

    std::string Fetch(std::string_view url);

    // Starts one asynchronous operation and runs the context until it has completed.
    template <class Start>
    error_code Run(Start start) {
        if (aborting) {
            return asio::error::operation_aborted;  // Abort() came between two operations
        }
        error_code result = asio::error::would_block;
        start([&](error_code ec) { result = ec; });
        ioc.restart();
        ioc.run();
        return result;
    }

    void Close() {
        if (stream) {
            error_code ignored;
            stream->socket().shutdown(tcp::socket::shutdown_both, ignored);
            stream->socket().close(ignored);
            stream.reset();
        }
    }

    // The request and the response go straight through the connected socket with one poll() per
    // wait: through the stream's asynchronous operations and their timers each exchange took
    // more than twice the system calls, which showed in the rate of a batch. Waits for the
    // socket to become ready for `events` until `until`, or until Abort(); {} when ready,
    // beast::error::timeout or asio::error::operation_aborted otherwise.
    error_code Wait(short events, Clock::time_point until);
    // Writes all of bytes, or fails with the first error (a timeout once `until` has passed).
    error_code WriteAll(std::string_view bytes, Clock::time_point until);
    // One read of what has arrived, waiting for it until `until`; eof when the peer closed.
    // With waitFirst the socket is polled before the read (the answer to a request just sent is
    // not there yet), otherwise the read is tried first.
    error_code ReadSome(std::size_t& n, Clock::time_point until, bool waitFirst);

    // True when the peer has closed the idle connection (or sent something nobody asked for).
    bool PeerGone() {
        pollfd p{stream->socket().native_handle(), POLLIN, 0};
        const int rc = ::poll(&p, 1, 0);
        return rc != 0;  // readable, hung up, or poll failed: not reusable
    }

    void Connect(const HttpUrl& url);
    // Reads the response to the request just sent into reader, storing cookies as they come.
    void Read(ResponseReader& reader, const std::string& host, Clock::time_point deadline,
              bool& peerClosed, bool& leftover);

    // Abort() from another thread: the exchange in flight (numbered, so that a late request
    // never reaches the next one) is cut by cancelling its socket's operations on the thread
    // that runs them, and every further operation of that exchange fails at once.
    void BeginFlight();
    bool EndFlight();  // true when the exchange was aborted
    void Abort();

    LookupLimits limits;
    HostResolver resolver;
    std::mutex exchange;  // one whole exchange at a time
    std::mutex flight;    // guards inFlight and exchangeNo against Abort()
    bool inFlight = false;
    std::uint64_t exchangeNo = 0;
    std::atomic<bool> aborting{false};
    text::FileDescriptor abortSignal;  // eventfd written by Abort() to wake Wait()
    asio::io_context ioc;
    std::optional<beast::tcp_stream> stream;
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
    const auto deadline = std::chrono::steady_clock::now() + limits.connect;
    std::vector<tcp::endpoint> endpoints;
    for (const std::string& address : resolver.Resolve(url.host, deadline)) {
        error_code bad;
        const auto parsed = asio::ip::make_address(address, bad);
        if (!bad) {
            endpoints.emplace_back(parsed, url.port);
        }
    }
    if (endpoints.empty()) {
        throw LookupError("Cannot resolve host " + url.host + ": no address",
                          LookupError::Kind::NameNotFound);
    }
    stream.emplace(ioc);
    stream->expires_at(deadline);
    const error_code connected = Run([&](auto done) {
        stream->async_connect(endpoints,
                              [done](error_code ec, const tcp::endpoint&) mutable { done(ec); });
    });
    if (connected) {
        stream.reset();
        if (connected == beast::error::timeout) {
            throw LookupError("Connect timed out.", LookupError::Kind::ConnectTimeout);
        }
        throw LookupError("Cannot connect to " + url.HostHeader() + ": " + connected.message(),
                          connected == asio::error::connection_refused
                              ? LookupError::Kind::Refused
                              : LookupError::Kind::ConnectFailed);
    }
    connectedHost = url.host;
    connectedPort = url.port;
}

error_code LookupClient::Impl::Wait(short events, Clock::time_point until) {
    std::array<pollfd, 2> fds{pollfd{stream->socket().native_handle(), events, 0},
                              pollfd{abortSignal.get(), POLLIN, 0}};
    for (;;) {
        if (aborting) {
            return asio::error::operation_aborted;
        }
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) {
            return beast::error::timeout;
        }
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{static_cast<time_t>(s.count()),
                               static_cast<long>((left - s).count())};
        const int rc = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (rc < 0 && errno != EINTR) {
            return error_code(errno, boost::system::system_category());
        }
        if (rc > 0 && fds[1].revents != 0) {
            return asio::error::operation_aborted;
        }
        if (rc > 0 && fds[0].revents != 0) {
            return {};  // ready, or an error or hang-up that the next call reports
        }
    }
}

error_code LookupClient::Impl::WriteAll(std::string_view bytes, Clock::time_point until) {
    const int fd = stream->socket().native_handle();
    while (!bytes.empty()) {
        if (aborting) {
            return asio::error::operation_aborted;
        }
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const error_code ec = Wait(POLLOUT, until)) {
                return ec;
            }
        } else if (errno != EINTR) {
            return error_code(errno, boost::system::system_category());
        }
    }
    return {};
}

error_code LookupClient::Impl::ReadSome(std::size_t& n, Clock::time_point until, bool waitFirst) {
    const int fd = stream->socket().native_handle();
    if (waitFirst) {
        if (const error_code ec = Wait(POLLIN, until)) {
            return ec;
        }
    }
    for (;;) {
        if (aborting) {
            return asio::error::operation_aborted;
        }
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            n = static_cast<std::size_t>(got);
            return {};
        }
        if (got == 0) {
            return asio::error::eof;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const error_code ec = Wait(POLLIN, until)) {
                return ec;
            }
        } else if (errno == ECONNRESET) {
            return asio::error::connection_reset;
        } else if (errno != EINTR) {
            return error_code(errno, boost::system::system_category());
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
            const error_code ec = ReadSome(
                n,
                std::min(Clock::now() + (errorPage ? limits.failureBodyPiece : limits.stall),
                         deadline),
                firstRead);
            firstRead = false;
            if (ec == asio::error::eof || ec == asio::error::connection_reset) {
                peerClosed = true;
                reader.FeedEnd();
                break;
            }
            if (ec == beast::error::timeout) {
                throw LookupError("Read timed out.", Clock::now() >= deadline
                                                         ? LookupError::Kind::ExchangeTimeout
                                                         : LookupError::Kind::ReadTimeout);
            }
            if (ec) {
                throw LookupError("Socket error: " + ec.message());
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

    if (stream &&
        (!keepOpen || connectedHost != parts.host || connectedPort != parts.port || PeerGone())) {
        Close();
    }
    keepOpen = false;
    if (!stream) {
        Connect(parts);
    }

    ResponseReader reader(limits);
    bool peerClosed = false;
    bool leftover = false;
    // The whole exchange ends by this time, however steadily the bytes come.
    const Clock::time_point deadline = Clock::now() + limits.exchange;
    try {
        const error_code written = WriteAll(head, std::min(Clock::now() + limits.stall, deadline));
        if (written) {
            if (written == beast::error::timeout) {
                throw LookupError("Write timed out.", LookupError::Kind::WriteTimeout);
            }
            throw LookupError("Socket error: " + written.message());
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
    ++exchangeNo;
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
    // Connecting runs inside io_context::run on the exchange's own thread, where the stream
    // lives; the cancel is carried out there.
    asio::post(ioc, [this, number = exchangeNo] {
        if (stream && number == exchangeNo) {
            stream->cancel();
        }
    });
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
