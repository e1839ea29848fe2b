#include "account_pages.h"

#include "account_rules.h"
#include "html_page.h"

namespace account_pages {

std::string CreateForm(std::string_view problem, std::string_view typedName) {
    const std::string maxLength = std::to_string(account_rules::kMaxPasswordLength);
    std::string body;
    if (!problem.empty())
        body += "<p class=\"problem\">" + html::Escape(problem) + "</p>\n";
    body += "<form method=\"post\" action=\"/main.php?pageno=100\" accept-charset=\"utf-8\">\n"
            "<p><label>User name: <input name=\"username\" maxlength=\"" +
            std::to_string(account_rules::kMaxUserNameLength) + "\" value=\"" +
            html::Escape(typedName) +
            "\" required></label></p>\n"
            "<p><label>Password: <input type=\"password\" name=\"password\" maxlength=\"" +
            maxLength +
            "\" required></label></p>\n"
            "<p><label>Password again: <input type=\"password\" name=\"password2\" maxlength=\"" +
            maxLength +
            "\" required></label></p>\n"
            "<p><button type=\"submit\">Create account</button></p>\n"
            "</form>\n<p class=\"rules\">" +
            html::Escape(account_rules::Description()) + "</p>\n";
    return html::Page(kCreateTitle, body);
}

std::string Created(std::string_view name, std::int32_t playerNumber) {
    const std::string body = "<p class=\"done\">The account <strong>" + html::Escape(name) +
                             "</strong> is ready (player number " + std::to_string(playerNumber) +
                             "). Log in from Zellhop with this name and password.</p>\n";
    return html::Page(kCreateTitle, body);
}

std::string Forgot(std::string_view contact) {
    std::string body = "<p>The lobby keeps passwords only as salted hashes, so nobody can look "
                       "yours up. The person who runs this lobby can set a new one for you; "
                       "tell them your user name.</p>\n";
    if (!contact.empty())
        body += "<p>Contact: " + html::Escape(contact) + "</p>\n";
    body += "<p>Or <a href=\"/main.php?pageno=100\">create a new account</a>.</p>\n";
    return html::Page(kForgotTitle, body);
}

std::string Refused(std::string_view reason) {
    const std::string body =
        "<p class=\"problem\">" + html::Escape(reason) +
        ".</p>\n<p><a href=\"/main.php?pageno=100\">Back to the form</a></p>\n";
    return html::Page(kCreateTitle, body);
}

} // namespace account_pages
