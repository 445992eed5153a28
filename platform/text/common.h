// The system's text type and the errors the text functions raise.
#pragma once

#include <stdexcept>
#include <string>

namespace platform::text {

// A text of the system: UTF-16 code units, embedded NULs allowed. Lengths and positions are
// counted in UTF-16 units, as the platform's own strings count them.
using Bstr = std::u16string;

// Base of the errors raised by the text functions. number() is the automation runtime's error
// number for the condition, so callers at a COM boundary can report it unchanged.
class Error : public std::runtime_error {
  public:
    Error(int number, const std::string& what) : std::runtime_error(what), number_(number) {}
    int number() const noexcept { return number_; }

  private:
    int number_;
};

// Error 5 "Invalid procedure call or argument": a position below 1, a negative length, an
// unknown code page.
class InvalidCall : public Error {
  public:
    explicit InvalidCall(const std::string& what) : Error(5, what) {}
};

// Error 6 "Overflow": a number outside the range of the target type.
class Overflow : public Error {
  public:
    explicit Overflow(const std::string& what) : Error(6, what) {}
};

// Error 13 "Type mismatch": a text that is not a number where a number is needed.
class TypeMismatch : public Error {
  public:
    explicit TypeMismatch(const std::string& what) : Error(13, what) {}
};

}  // namespace platform::text
