#include "lookup/FailureReason.h"

#include <exception>

#include "lookup/LookupError.h"
#include "table/DomainTable.h"

namespace lookup {

namespace {

using Kind = LookupError::Kind;

// 查询失败：
constexpr std::string_view kFailed = "\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC\xA3\xBA";

std::string CauseOf(const LookupError& e) {
    switch (e.GetKind()) {
        case Kind::Refused:
            return "\xC1\xAC\xBD\xD3\xB1\xBB\xBE\xDC\xBE\xF8";  // 连接被拒绝
        case Kind::NameNotFound:
            return "\xD5\xD2\xB2\xBB\xB5\xBD\xB7\xFE\xCE\xF1\xD6\xF7\xBB\xFA";  // 找不到服务主机
        case Kind::ConnectFailed:
            return "\xCE\xDE\xB7\xA8\xC1\xAC\xBD\xD3\xB7\xFE\xCE\xF1";  // 无法连接服务
        case Kind::ConnectTimeout:
            return "\xC1\xAC\xBD\xD3\xB3\xAC\xCA\xB1";  // 连接超时
        case Kind::WriteTimeout:
            return "\xB7\xA2\xCB\xCD\xB3\xAC\xCA\xB1";  // 发送超时
        case Kind::ReadTimeout:
            return "\xB6\xC1\xC8\xA1\xB3\xAC\xCA\xB1";  // 读取超时
        case Kind::ExchangeTimeout:
            return "\xD3\xA6\xB4\xF0\xD7\xDC\xCA\xB1\xB3\xA4\xB3\xAC\xCA\xB1";  // 应答总时长超时
        case Kind::Status: {
            const auto* http = dynamic_cast<const HttpError*>(&e);
            if (http != nullptr && http->Status() >= 0) {
                // 服务返回 <code>
                return "\xB7\xFE\xCE\xF1\xB7\xB5\xBB\xD8 " + std::to_string(http->Status());
            }
            break;  // a status line without a number: malformed
        }
        case Kind::SizeCap:
            return "\xD3\xA6\xB4\xF0\xB3\xAC\xB9\xFD\xB4\xF3\xD0\xA1\xC9\xCF\xCF\xDE";  // 应答超过大小上限
        case Kind::Malformed:
            break;
        case Kind::Dropped:
            return "\xB7\xFE\xCE\xF1\xB9\xD8\xB1\xD5\xC1\xCB\xC1\xAC\xBD\xD3";  // 服务关闭了连接
        case Kind::Stopped:
            return "\xB2\xE9\xD1\xAF\xD2\xD1\xCD\xA3\xD6\xB9";  // 查询已停止
        case Kind::Other:
            return e.what();
    }
    return "\xD3\xA6\xB4\xF0\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3";  // 应答格式错误
}

}  // namespace

std::string CurrentFailureCause() noexcept {
    try {
        try {
            throw;
        } catch (const LookupError& e) {
            return CauseOf(e);
        } catch (const table::RowMissing&) {
            return "\xB8\xC3\xD0\xD0\xD2\xD1\xB2\xBB\xB4\xE6\xD4\xDA";  // 该行已不存在
        } catch (const std::exception& e) {
            return e.what();
        } catch (...) {
            return "Unknown error";
        }
    } catch (...) {
        return {};  // out of memory while building the text
    }
}

std::string RowFailureText(std::string_view cause) {
    std::string text(kFailed);
    text += cause;
    return text;
}

bool CurrentFailureIsStop() noexcept {
    try {
        throw;
    } catch (const LookupError& e) {
        return e.GetKind() == Kind::Stopped;
    } catch (...) {
        return false;
    }
}

}  // namespace lookup
