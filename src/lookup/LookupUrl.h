#pragma once

#include <string>
#include <string_view>

namespace lookup {

// "http://" + the lookup service's host + the fixed path and query. The host is a build
// setting (CMake cache variable CY_LOOKUP_HOST).
const std::string& LookupBaseUrl();

// The domain with every byte of value 0x20 or less removed from both ends.
std::string_view TrimDomain(std::string_view domain);

// The base URL (LookupBaseUrl(), or a test server's) followed by the trimmed domain, bytes
// appended as they are (no encoding).
std::string LookupUrl(std::string_view domain, std::string_view baseUrl = LookupBaseUrl());

}  // namespace lookup
