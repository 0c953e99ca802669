#include "Password.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace orva::admin {

namespace {
std::optional<std::string> promptOnce(const std::string& prompt)
{
    std::cerr << prompt << std::flush;
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << '\n';
    if (!ok) return std::nullopt;
    return line;
}

std::optional<std::string> readLine(std::string& error)
{
    std::string password;
    if (!std::getline(std::cin, password)) {
        error = "no password on standard input";
        return std::nullopt;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}
}  // namespace

std::optional<std::string> readPassword(const std::string& prompt, std::string& error)
{
    if (!isatty(STDIN_FILENO)) return readLine(error);
    auto password = promptOnce(prompt);
    if (!password) error = "no password entered";
    return password;
}

std::optional<std::string> readNewPassword(std::string& error)
{
    std::string password;
    if (isatty(STDIN_FILENO)) {
        const auto first = promptOnce("New password: ");
        const auto second = first ? promptOnce("Repeat it: ") : std::nullopt;
        if (!first || !second) {
            error = "no password entered";
            return std::nullopt;
        }
        if (*first != *second) {
            error = "the two passwords differ";
            return std::nullopt;
        }
        password = *first;
    } else if (auto line = readLine(error)) {
        password = *line;
    } else {
        return std::nullopt;
    }
    if (password.empty()) {
        error = "the password is empty";
        return std::nullopt;
    }
    return password;
}

}  // namespace orva::admin
