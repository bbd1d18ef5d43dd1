#pragma once

#include <string>
#include <string_view>

// Why a lookup failed, as the window tells the user: short Chinese texts in GBK.
namespace lookup {

// The cause of the exception being handled (call inside a catch block), for example
// "服务返回 500" or "连接超时". A failure the lookup does not know by kind gives its own
// what() text.
std::string CurrentFailureCause() noexcept;

// "查询失败：" followed by the cause: the reason a row carries after a failed lookup.
std::string RowFailureText(std::string_view cause);

// True when the exception being handled is a lookup cut off by LookupClient::Abort.
bool CurrentFailureIsStop() noexcept;

}  // namespace lookup
