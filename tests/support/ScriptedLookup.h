#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lookup/LookupUrl.h"
#include "support/FilingPages.h"
#include "support/ScriptedHttpServer.h"

// The lookup service played by a ScriptedHttpServer: the program's lookup URLs pointed at the
// server, and a responder that answers by the requested domain.
namespace cytest {

// The path and query of the program's lookup URLs, up to the domain.
inline std::string LookupTarget() {
    const std::string& base = lookup::LookupBaseUrl();
    return base.substr(base.find('/', std::string_view("http://").size()));
}

// The program's lookup base URL with another origin ("http://host:port") in place of the
// service's, such as a test server's.
inline std::string LookupBase(std::string_view origin) {
    return std::string(origin) + LookupTarget();
}
inline std::string LookupBase(const testsupport::ScriptedHttpServer& server) {
    return LookupBase(server.BaseUrl());
}

// The program's lookup URL for a domain, on the test server.
inline std::string UrlFor(const testsupport::ScriptedHttpServer& server, std::string_view domain) {
    return lookup::LookupUrl(domain, LookupBase(server));
}

// A complete "200 OK" response with a Content-Length body and extra header lines.
inline std::string Ok(std::string_view body, const std::vector<std::string>& headers = {}) {
    return testsupport::ScriptedHttpServer::Response("200 OK", body, headers);
}

// Answers by the requested domain's start: "filed*" → a filing page whose fields name the
// domain (ICP-<d>, S-<d>, D-<d>), "fail*" → 500, "drop*" → the connection closes without an
// answer, "stall*" → silence, anything else → the no-record page.
inline testsupport::Reply ByDomain(const std::string& request) {
    using testsupport::Reply;
    const std::string d = RequestedDomain(request);
    const auto startsWith = [&d](std::string_view prefix) { return d.rfind(prefix, 0) == 0; };
    if (startsWith("filed")) {
        return {Ok(FiledPage("ICP-" + d, "S-" + d, "D-" + d))};
    }
    if (startsWith("fail")) {
        return {testsupport::ScriptedHttpServer::Response("500 Internal Server Error", "oops")};
    }
    Reply reply;
    if (startsWith("drop")) {
        reply.after = Reply::After::Close;
    } else if (startsWith("stall")) {
        reply.after = Reply::After::Stall;
    } else {
        reply.bytes = Ok(UnfiledPage());
    }
    return reply;
}

}  // namespace cytest
