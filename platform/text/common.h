// The system's text type and the errors the text functions raise.
#pragma once

#include <stdexcept>
#include <string>

namespace platform::text {

// A text of the system: UTF-16 code units, embedded NULs allowed. Lengths and positions are
// counted in UTF-16 units, as the platform's own strings count them.
using Bstr = std::u16string;

// The one error type of the system's own code: a number and a UTF-16 description. number() is
// the automation runtime's error number for the condition (5, 6, 9, 13, 75, ...), so callers at
// a COM boundary can report it unchanged; description() is the text shown to a user. what()
// carries the detail for logs (the description itself when no detail is given).
class Error : public std::runtime_error {
  public:
    Error(int number, std::u16string description, const std::string& detail = {});
    int number() const noexcept { return number_; }
    const std::u16string& description() const noexcept { return description_; }

  private:
    int number_;
    std::u16string description_;
};

// The automation runtime's own text for an error number ("Overflow" for 6, "File not found"
// for 53, ...); numbers the system does not raise give "Application-defined or object-defined
// error".
std::u16string runtimeErrorText(int number);

// An Error with the runtime's own text for its number.
inline Error runtimeError(int number, const std::string& detail = {}) {
    return Error(number, runtimeErrorText(number), detail);
}

// Error 5 "Invalid procedure call or argument": a position below 1, a negative length, an
// unknown code page.
class InvalidCall : public Error {
  public:
    explicit InvalidCall(const std::string& detail) : Error(5, runtimeErrorText(5), detail) {}
};

// Error 6 "Overflow": a number outside the range of the target type.
class Overflow : public Error {
  public:
    explicit Overflow(const std::string& detail) : Error(6, runtimeErrorText(6), detail) {}
};

// Error 13 "Type mismatch": a text that is not a number where a number is needed.
class TypeMismatch : public Error {
  public:
    explicit TypeMismatch(const std::string& detail) : Error(13, runtimeErrorText(13), detail) {}
};

}  // namespace platform::text
