#pragma once

#include <string>
#include <string_view>

// The lobby's web pages: plain HTML with one stylesheet and no script.
// Everything a page echoes from a request or from the database goes through
// Escape.
namespace html {

std::string Escape(std::string_view text);

// A whole page with the lobby's heading and links; the title is escaped,
// the body is HTML already.
std::string Page(std::string_view title, std::string_view body);

// The stylesheet every page links to, served at /lobby.css.
const std::string& Stylesheet();

} // namespace html
