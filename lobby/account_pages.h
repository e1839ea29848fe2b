#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The two pages that the game's login dialog links to: account creation
// (/main.php?pageno=100) and the forgotten password (/main.php?pageno=101).
namespace account_pages {

constexpr std::string_view kCreateTitle = "Create a new Tavlo account";
constexpr std::string_view kForgotTitle = "Forgot your password?";

// The form, with what went wrong last time and the name typed then.
std::string CreateForm(std::string_view problem = {}, std::string_view typedName = {});
std::string Created(std::string_view name, std::int32_t playerNumber);
std::string Forgot(std::string_view contact);
// The lobby turned the form away before looking at it (too many at once).
std::string Refused(std::string_view reason);

} // namespace account_pages
