#include "html_page.h"

namespace html {

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Page(std::string_view title, std::string_view body) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           Escape(title) + "</title>\n</head>\n<body>\n<h1>" + Escape(title) + "</h1>\n" +
           std::string(body) + "</body>\n</html>\n";
}

} // namespace html
