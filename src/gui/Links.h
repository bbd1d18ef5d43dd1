#pragma once

// The maker's pages and contacts. The pages are served by the stand-in service (service/),
// on the host given by the CMake cache variable CY_MAKER_HOST.
#ifndef CY_MAKER_HOST
#define CY_MAKER_HOST "127.0.0.1"
#endif

namespace links {

inline constexpr const char HomePageUrl[] = "http://" CY_MAKER_HOST "/";
inline constexpr const char UsagePageUrl[] = "http://" CY_MAKER_HOST "/usage.html";
inline constexpr const char BrowserPanelUrl[] = "http://" CY_MAKER_HOST "/panel.html";
inline constexpr const char MicroblogUrl[] = "http://microblog.example.com/chengyusoft?from=about";
inline constexpr const char ContactMailAddress[] = "chengyu@example.com";
inline constexpr const char ContactImNumber[] = "800012345";

}  // namespace links
