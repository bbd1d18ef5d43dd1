#include "lookup/HostResolver.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "lookup/LookupError.h"

namespace lookup {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

ResolvedHost ResolveWithSystem(const std::string& host) {
    // A context of its own: this runs on a resolution thread, apart from the client's context.
    asio::io_context ioc;
    tcp::resolver resolver(ioc);
    boost::system::error_code ec;
    const auto results = resolver.resolve(host, "", ec);
    ResolvedHost resolved;
    if (ec) {
        resolved.error = ec.message();
        return resolved;
    }
    for (const auto& entry : results) {
        resolved.addresses.push_back(entry.endpoint().address().to_string());
    }
    return resolved;
}

namespace {

// One resolution of one host, shared by its thread and everyone waiting for it.
struct Job {
    bool done = false;
    ResolvedHost result;
};

}  // namespace

struct HostResolver::Shared {
    explicit Shared(ResolveHost r) : resolve(std::move(r)) {}

    const ResolveHost resolve;
    std::mutex mutex;
    std::condition_variable changed;  // a resolution finished (and freed its slot)
    int running = 0;
    std::map<std::string, std::shared_ptr<Job>> inFlight;
};

HostResolver::HostResolver(ResolveHost resolve)
    : shared_(std::make_shared<Shared>(std::move(resolve))) {}

HostResolver::~HostResolver() = default;

std::vector<std::string> HostResolver::Resolve(const std::string& host,
                                               Clock::time_point deadline) {
    boost::system::error_code notNumeric;
    const asio::ip::address numeric = asio::ip::make_address(host, notNumeric);
    if (!notNumeric) {
        return {numeric.to_string()};
    }

    std::unique_lock lock(shared_->mutex);
    std::shared_ptr<Job> job;
    for (;;) {
        if (const auto it = shared_->inFlight.find(host); it != shared_->inFlight.end()) {
            job = it->second;  // join the resolution already under way
            break;
        }
        if (shared_->running < kMaxRunning) {
            job = std::make_shared<Job>();
            try {
                std::thread([shared = shared_, host, job] {
                    ResolvedHost result;
                    try {
                        result = shared->resolve(host);
                    } catch (const std::exception& e) {
                        result.error = e.what();
                    }
                    std::lock_guard done(shared->mutex);
                    job->result = std::move(result);
                    job->done = true;
                    --shared->running;
                    shared->inFlight.erase(host);
                    shared->changed.notify_all();
                }).detach();
            } catch (const std::system_error& e) {
                throw LookupError("Cannot resolve host " + host + ": " + e.what());
            }
            ++shared_->running;
            shared_->inFlight.emplace(host, job);
            break;
        }
        // Every slot is held by a resolution that has not ended: wait for one within our limit.
        if (shared_->changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            throw LookupError("Connect timed out.", LookupError::Kind::ConnectTimeout);
        }
    }
    if (!shared_->changed.wait_until(lock, deadline, [&] { return job->done; })) {
        throw LookupError("Connect timed out.", LookupError::Kind::ConnectTimeout);
    }
    if (!job->result.error.empty() || job->result.addresses.empty()) {
        throw LookupError("Cannot resolve host " + host + ": " +
                              (job->result.error.empty() ? "no address" : job->result.error),
                          LookupError::Kind::NameNotFound);
    }
    return job->result.addresses;
}

}  // namespace lookup
