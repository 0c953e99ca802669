#pragma once
// Reads a new password: from a terminal at a prompt without echo, asked twice; otherwise one line
// of standard input. Never from the command line, where other users could see it.

#include <optional>
#include <string>

namespace orva::admin {

// The password, or nothing with why (the two entries differ, input ended, empty password).
std::optional<std::string> readNewPassword(std::string& error);

}  // namespace orva::admin
