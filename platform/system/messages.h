// The system message table: the text of a Windows error number, as the platform's message
// formatter gives it (ending with a carriage return and line feed), for the numbers that the
// system's code can meet. nullopt for a number without a text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::system {

std::optional<std::u16string> formatMessage(std::uint32_t code);

}  // namespace platform::system
