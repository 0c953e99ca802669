#pragma once
// Reads passwords: from a terminal at a prompt without echo; otherwise one line of standard
// input. Never from the command line, where other users could see it. orva-admin and uaclient
// share it.

#include <optional>
#include <string>

namespace orva::admin {

// The password, or nothing with why (the two entries differ, input ended, empty password).
std::optional<std::string> readNewPassword(std::string& error);
// An existing password, asked once at prompt.
std::optional<std::string> readPassword(const std::string& prompt, std::string& error);

}  // namespace orva::admin
