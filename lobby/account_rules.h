#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What a lobby user name and password may hold. The game's login dialog
// takes at most 16 characters in each field, refuses spaces, and sends both
// unencoded in its query, where "&" splits, "#" cuts, "\" turns into "/" and
// "%" starts an escape; an account holding any of these could never log in
// from the game, so the lobby refuses them when the account is made.
namespace account_rules {

constexpr std::size_t kMaxUserNameLength = 16;
constexpr std::size_t kMinPasswordLength = 6;
constexpr std::size_t kMaxPasswordLength = 16;

// The text to show the user when the name cannot be used; nullopt when it can.
std::optional<std::string> UserNameProblem(std::string_view name);
std::optional<std::string> PasswordProblem(std::string_view password);

// The rule of both, as the account page states it.
std::string Description();

} // namespace account_rules
