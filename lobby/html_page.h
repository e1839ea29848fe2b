#pragma once

#include <string>
#include <string_view>

// The lobby's few web pages. Everything a page echoes from a request or
// from the database goes through Escape.
namespace html {

std::string Escape(std::string_view text);

// A whole page; the title is escaped, the body is HTML already.
std::string Page(std::string_view title, std::string_view body);

} // namespace html
