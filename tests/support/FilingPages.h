#pragma once

#include <string>
#include <string_view>

#include "support/HexBytes.h"

// GBK lookup pages for tests, in the layout the page parser relies on: the filing fragment
// first, then the sponsor and review-date fragments, each on one line.
namespace cytest {

inline std::string FiledPage(std::string_view filingNo, std::string_view sponsor,
                             std::string_view reviewDate) {
    const std::string tail = "</label><span class=\"fontred\">";
    std::string page = "<html><body><div><label>";
    page += Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5 A3BA");  // 备案/许可证号：
    page += tail;
    page += filingNo;
    page += "</span></div>\r\n<div><label>";
    page += Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA");  // 主办单位名称：
    page += tail;
    page += sponsor;
    page += "</span></div>\r\n<div><label>";
    page += Hex("C9F3 BACB CDA8 B9FD CAB1 BCE4 A3BA");  // 审核通过时间：
    page += tail;
    page += reviewDate;
    page += "</span></div>\r\n</body></html>\r\n";
    return page;
}

// A page of the service for a domain without a filing record.
inline std::string UnfiledPage() {
    return "<html><body><div>" + Hex("C3BB D3D0 B1B8 B0B8") + "</div></body></html>";  // 没有备案
}

// The raw Domain value of a lookup request head ("GET /...&Domain=<value> HTTP/1.1").
inline std::string RequestedDomain(std::string_view request) {
    const std::string_view key = "&Domain=";
    const auto start = request.find(key);
    const auto end = request.find(" HTTP/1.1\r\n");
    if (start == std::string_view::npos || end == std::string_view::npos || end < start) {
        return {};
    }
    return std::string(request.substr(start + key.size(), end - start - key.size()));
}

}  // namespace cytest
