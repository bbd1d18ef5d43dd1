#pragma once

#include <QString>

#include <string>
#include <string_view>

// The GUI edge of the program's text: the core keeps every text as GBK (code page 936) bytes,
// the widgets show QString. A character GBK cannot hold becomes '?', as does an invalid GBK
// byte sequence on the way back.
namespace gui {

QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);

}  // namespace gui
