#include "lookup/LookupClient.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <mutex>
#include <optional>
#include <vector>

#include "lookup/CookieStore.h"
#include "lookup/HttpUrl.h"
#include "lookup/RequestWriter.h"
#include "lookup/ResponseReader.h"

namespace lookup {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using boost::system::error_code;

struct LookupClient::Impl {
    using Clock = std::chrono::steady_clock;

    Impl(const LookupLimits& l, ResolveHost resolve) : limits(l), resolver(std::move(resolve)) {}

    std::string Fetch(std::string_view url);

    // Starts one asynchronous operation and runs the context until it has completed.
    template <class Start>
    error_code Run(Start start, std::size_t* bytes = nullptr) {
        if (aborting) {
            return asio::error::operation_aborted;  // Abort() came between two operations
        }
        error_code result = asio::error::would_block;
        start([&](error_code ec, std::size_t n = 0) {
            result = ec;
            if (bytes) {
                *bytes = n;
            }
        });
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
    asio::io_context ioc;
    std::optional<beast::tcp_stream> stream;
    std::string connectedHost;
    std::uint16_t connectedPort = 0;
    bool keepOpen = false;
    CookieStore cookies;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
};

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

void LookupClient::Impl::Read(ResponseReader& reader, const std::string& host,
                              Clock::time_point deadline, bool& peerClosed, bool& leftover) {
    auto storeCookies = [&] {
        const auto now = CookieClock::now();
        for (const std::string& header : reader.TakeSetCookies()) {
            cookies.Add(header, host, now);
        }
    };
    try {
        while (!reader.Done()) {
            // An error page is waited for briefly: the failure is already certain.
            const bool errorPage = reader.HeadDone() && !reader.Success();
            stream->expires_at(std::min(
                Clock::now() + (errorPage ? limits.failureBodyPiece : limits.stall), deadline));
            std::size_t n = 0;
            const error_code ec = Run(
                [&](auto done) { stream->async_read_some(asio::buffer(buffer), std::move(done)); },
                &n);
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
    const std::string head = WriteRequestHead(
        parts.target, parts.HostHeader(), cookies.RequestCookieList(parts.host, parts.Directory()));

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
        stream->expires_at(std::min(Clock::now() + limits.stall, deadline));
        const error_code written = Run(
            [&](auto done) { asio::async_write(*stream, asio::buffer(head), std::move(done)); });
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
    return aborting.exchange(false);
}

void LookupClient::Impl::Abort() {
    std::lock_guard lock(flight);
    if (!inFlight || aborting) {
        return;
    }
    aborting = true;
    // Runs on the exchange's own thread inside io_context::run, where the stream lives.
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
