#include "account_rules.h"

namespace account_rules {
namespace {

constexpr std::string_view kMangledByTheGame = "&#%\\";
constexpr char kFirstPrintable = '!'; // the space is refused like a control character
constexpr char kLastPrintable = '~';

bool AllTypeable(std::string_view text) {
    for (const char c : text) {
        if (c < kFirstPrintable || c > kLastPrintable)
            return false;
        if (kMangledByTheGame.find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

const std::string kCharacterRule = "letters, digits and punctuation, but no spaces and none of "
                                   "& # % \\";

} // namespace

std::optional<std::string> UserNameProblem(std::string_view name) {
    if (name.empty() || name.size() > kMaxUserNameLength)
        return "A user name has 1 to " + std::to_string(kMaxUserNameLength) + " characters.";
    if (!AllTypeable(name))
        return "A user name may hold " + kCharacterRule + ".";
    return std::nullopt;
}

std::optional<std::string> PasswordProblem(std::string_view password) {
    if (password.size() < kMinPasswordLength || password.size() > kMaxPasswordLength)
        return "A password has " + std::to_string(kMinPasswordLength) + " to " +
               std::to_string(kMaxPasswordLength) + " characters.";
    if (!AllTypeable(password))
        return "A password may hold " + kCharacterRule + ".";
    return std::nullopt;
}

std::string Description() {
    return "User names have 1 to " + std::to_string(kMaxUserNameLength) +
           " characters, passwords " + std::to_string(kMinPasswordLength) + " to " +
           std::to_string(kMaxPasswordLength) + "; both may hold " + kCharacterRule + ".";
}

} // namespace account_rules
