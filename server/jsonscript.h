// cJSONScript: evaluates a small script written as JSON and returns the text it produces. A
// script is an array of texts (copied to the output) and command objects (executed, their
// output appended): message and input boxes, named variables that live as long as the object,
// comparisons, case tables, and markers "<%NAME(values)%>" for any other key.
//
// Command keys are matched without letter case. At most kMaxNesting executions may be in
// progress at once; one more yields kNestingExceeded and runs nothing below it.
//
// A value of the wrong kind (a number or Boolean where a text or an object is required, an
// argument that is not an object, a value without a text form) stops the evaluation: the
// result is then not ok and names the fault, and the object stays usable.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "server/json.h"

namespace tessel::server {

inline constexpr std::int32_t kMaxNesting = 41;
inline constexpr std::u16string_view kNestingExceeded = u"ERROR: Nesting level exceeded.";
inline constexpr std::u16string_view kParserErrorTitle = u"Parser Error";

struct ScriptResult {
    bool ok = true;
    std::u16string text;   // the output; "" when not ok
    std::u16string error;  // why not ok: the parser's errors or the wrong value
};

class cJSONScript {
  public:
    // Parses and runs a script. A text that does not parse shows the parser's errors in a
    // warning box titled "Parser Error" and gives "" (not ok).
    ScriptResult Eval(std::u16string_view sJSON);
    // The text one value produces.
    ScriptResult ExecCommand(const JsonValue& obj);

    // The variable's stored text, if the variable exists.
    std::optional<std::u16string> variable(const std::u16string& name) const;
    std::int32_t nestingLevel() const { return level_; }

  private:
    std::u16string exec(const JsonValue& value);
    std::u16string command(const JsonObject& commands);
    // The built-in commands, each with its object argument; `key` is the command as written.
    void alert(const JsonObject& a);
    std::u16string input(const JsonObject& a);
    std::u16string choose(const std::u16string& key, const JsonObject& a);
    void set(const JsonObject& a);
    std::u16string get(const JsonObject& a);
    std::u16string test(const JsonObject& a);
    // Any other command: "<%KEY(arguments)%>" for the layout server to fill in.
    static std::u16string placeholder(const std::u16string& key, const JsonValue& value);

    // Keys compared with case; a variable read before it was set holds no value.
    std::map<std::u16string, std::optional<std::u16string>> variables_;
    std::int32_t level_ = 0;
};

}  // namespace tessel::server
