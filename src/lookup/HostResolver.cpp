#include "lookup/HostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "lookup/LookupError.h"

namespace lookup {

namespace {

bool IsNumericAddress(const std::string& host) {
    in6_addr any;  // large enough for either family
    return ::inet_pton(AF_INET, host.c_str(), &any) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &any) == 1;
}

}  // namespace

ResolvedHost ResolveWithSystem(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    hints.ai_flags = AI_ADDRCONFIG;   // only families this machine has an address of
    addrinfo* found = nullptr;
    ResolvedHost resolved;
    if (const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found); rc != 0) {
        resolved.error =
            rc == EAI_SYSTEM ? std::generic_category().message(errno) : ::gai_strerror(rc);
        return resolved;
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, ::freeaddrinfo);
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* address = nullptr;
        if (a->ai_family == AF_INET) {
            address = &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
        } else if (a->ai_family == AF_INET6) {
            address = &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr;
        }
        if (address != nullptr && ::inet_ntop(a->ai_family, address, text, sizeof text)) {
            resolved.addresses.emplace_back(text);
        }
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
    if (IsNumericAddress(host)) {
        return {host};
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
