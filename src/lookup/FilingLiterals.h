#pragma once

#include <string_view>

// The markup of the lookup page around the three fields of a filing record. Each literal is
// compared byte for byte with GBK pages, so it is written as its exact GBK bytes.
namespace lookup {

// 备案/许可证号：</label><span class="fontred">
inline constexpr std::string_view FilingNoStartMarker =
    "\xB1\xB8\xB0\xB8/\xD0\xED\xBF\xC9\xD6\xA4\xBA\xC5\xA3\xBA"
    "</label><span class=\"fontred\">";

// </span></div>
inline constexpr std::string_view FilingNoEndMarker = "</span></div>";

// 审核通过时间：<\/label><span class="fontred">(.*?)<\/span><\/div>
inline constexpr std::string_view ReviewDatePattern =
    "\xC9\xF3\xBA\xCB\xCD\xA8\xB9\xFD\xCA\xB1\xBC\xE4\xA3\xBA"
    "<\\/label><span class=\"fontred\">(.*?)<\\/span><\\/div>";

// 主办单位名称：<\/label><span class="fontred">(.*?)<\/span><\/div>
inline constexpr std::string_view SponsorPattern =
    "\xD6\xF7\xB0\xEC\xB5\xA5\xCE\xBB\xC3\xFB\xB3\xC6\xA3\xBA"
    "<\\/label><span class=\"fontred\">(.*?)<\\/span><\\/div>";

}  // namespace lookup
