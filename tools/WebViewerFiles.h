#pragma once
// The HTML viewer's own files (resources/web/), compiled into qrptool: the body markup of its tool bar
// and panes ({{TITLE}} and {{LANG}} filled in by the writer), its style sheet and its script.

#include <string_view>

namespace pagimo::tools::web {

extern const std::string_view ViewerHtml;
extern const std::string_view ViewerCss;
extern const std::string_view ViewerJs;

} // namespace pagimo::tools::web
