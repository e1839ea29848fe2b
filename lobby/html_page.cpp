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
    // Six dots in the colours of the six seats, Blue to Yellow.
    static const std::string kMasthead =
        "<header>\n<a class=\"home\" href=\"/\"><span class=\"dots\" aria-hidden=\"true\">"
        "<i class=\"blue\"></i><i class=\"red\"></i><i class=\"purple\"></i>"
        "<i class=\"orange\"></i><i class=\"green\"></i><i class=\"yellow\"></i></span>"
        "Zellhop lobby</a>\n<nav><a href=\"/\">Games</a> "
        "<a href=\"/main.php?pageno=100\">Create an account</a> "
        "<a href=\"/main.php?pageno=101\">Forgot your password?</a></nav>\n</header>\n";
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           Escape(title) +
           "</title>\n<link rel=\"stylesheet\" href=\"/lobby.css\">\n</head>\n<body>\n" +
           kMasthead + "<main>\n<h1>" + Escape(title) + "</h1>\n" + std::string(body) +
           "</main>\n</body>\n</html>\n";
}

const std::string& Stylesheet() {
    static const std::string kStylesheet = R"(:root {
  --ink: #1d2430; --muted: #5b6575; --line: #d8dde6; --paper: #f6f4ef; --card: #ffffff;
  --accent: #1f5fae;
}
* { box-sizing: border-box; }
body { margin: 0; background: var(--paper); color: var(--ink);
  font: 16px/1.5 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; }
header { display: flex; flex-wrap: wrap; align-items: center; justify-content: space-between;
  gap: 0.5rem 1.5rem; padding: 0.75rem 1.5rem; background: #22304a; color: #fff; }
header a { color: #fff; text-decoration: none; }
header .home { font-weight: bold; font-size: 1.2rem; display: flex; align-items: center; gap: 0.6rem; }
header nav { display: flex; flex-wrap: wrap; gap: 1.2rem; }
header nav a:hover, header nav a:focus { text-decoration: underline; }
.dots { display: inline-flex; gap: 3px; }
.dots i { display: inline-block; width: 0.7rem; height: 0.7rem; border-radius: 50%;
  border: 1px solid rgba(0, 0, 0, 0.35); }
.dots .blue { background: #2a62d8; } .dots .red { background: #d63a2f; }
.dots .purple { background: #8a3fc1; } .dots .orange { background: #f08a1c; }
.dots .green { background: #2f9e44; } .dots .yellow { background: #f2d024; }
main { max-width: 52rem; margin: 1.5rem auto; padding: 0 1rem 2rem; }
h1 { font-size: 1.7rem; margin: 0 0 1rem; }
h2 { font-size: 1.2rem; margin: 0 0 0.6rem; }
section { background: var(--card); border: 1px solid var(--line); border-radius: 8px;
  padding: 1rem 1.25rem; margin: 0 0 1.25rem; }
table { width: 100%; border-collapse: collapse; }
th, td { text-align: left; padding: 0.4rem 0.6rem; border-bottom: 1px solid var(--line);
  vertical-align: top; overflow-wrap: anywhere; }
th { color: var(--muted); font-weight: normal; font-size: 0.9rem; }
tbody tr:last-child td { border-bottom: none; }
.number { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.empty, .intro { color: var(--muted); }
a { color: var(--accent); }
code { background: #ebe8e0; padding: 0 0.25rem; border-radius: 3px; }
form { background: var(--card); border: 1px solid var(--line); border-radius: 8px;
  padding: 1.25rem; max-width: 26rem; }
form p { margin: 0 0 0.9rem; }
label { display: block; font-size: 0.95rem; }
input { display: block; width: 100%; margin-top: 0.25rem; padding: 0.45rem 0.5rem;
  font: inherit; border: 1px solid #aab2c0; border-radius: 4px; }
input:focus { outline: 2px solid var(--accent); outline-offset: 1px; }
button { font: inherit; padding: 0.5rem 1.1rem; border: 0; border-radius: 4px;
  background: var(--accent); color: #fff; cursor: pointer; }
button:hover, button:focus { background: #174b8b; }
.problem { background: #fdecea; border: 1px solid #f3b7b0; color: #8a1c12;
  border-radius: 6px; padding: 0.6rem 0.8rem; }
.done { background: #e8f5ea; border: 1px solid #a9d8b2; border-radius: 6px; padding: 0.6rem 0.8rem; }
.rules { color: var(--muted); font-size: 0.9rem; max-width: 26rem; }
)";
    return kStylesheet;
}

} // namespace html
