#include "server/jsonscript.h"

#include "platform/text/text.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/messagebox.h"

namespace tessel::server {

namespace text = platform::text;
namespace ui = platform::ui;
using Kind = JsonValue::Kind;

namespace {

// A value of the wrong kind: ends the evaluation with this description.
class WrongValue : public std::runtime_error {
  public:
    explicit WrongValue(std::u16string what)
        : std::runtime_error(text::toUtf8(what)), what_(std::move(what)) {}
    const std::u16string& description() const { return what_; }

  private:
    std::u16string what_;
};

const JsonValue& nothing() {
    static const JsonValue empty;
    return empty;
}

std::u16string quoted(std::u16string_view s) {
    return u"\"" + std::u16string(s) + u"\"";
}

// A member of a command's argument; a missing member is an empty value.
const JsonValue& member(const JsonObject& argument, std::u16string_view name) {
    const JsonValue* v = argument.find(name);
    return v ? *v : nothing();
}

// The text form of a value taken literally (not executed); nullopt for Null.
std::optional<std::u16string> literalText(const JsonValue& v, std::u16string_view where) {
    switch (v.kind()) {
        case Kind::Empty:
            return std::u16string();
        case Kind::Null:
            return std::nullopt;
        case Kind::Boolean:
            return std::u16string(v.boolean() ? u"True" : u"False");
        case Kind::Number:
            return v.number().toText();
        case Kind::Text:
            return v.text();
        default:
            throw WrongValue(std::u16string(where) + u": an object or array has no text form");
    }
}

std::u16string requiredText(const JsonValue& v, std::u16string_view where) {
    auto t = literalText(v, where);
    if (!t) throw WrongValue(std::u16string(where) + u": null has no text form");
    return *t;
}

// RAII for the nesting level.
class Nesting {
  public:
    explicit Nesting(std::int32_t& level) : level_(level) { ++level_; }
    ~Nesting() { --level_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

  private:
    std::int32_t& level_;
};

template <class F>
ScriptResult guarded(F&& run) {
    ScriptResult r;
    try {
        r.text = run();
    } catch (const WrongValue& e) {
        r = {false, {}, e.description()};
    } catch (const text::Error& e) {
        r = {false, {}, e.description()};
    } catch (const std::exception& e) {
        r = {false, {}, text::fromUtf8(e.what())};
    }
    return r;
}

}  // namespace

ScriptResult cJSONScript::Eval(std::u16string_view sJSON) {
    JsonParse parsed = ParseJson(sJSON);
    if (!parsed.errors.empty() || !parsed.root) {
        std::u16string errors = parsed.errors.empty() ? u"Invalid JSON" : parsed.errors;
        ui::messageBox(errors, std::u16string(kParserErrorTitle), ui::vbExclamation);
        return {false, {}, errors};
    }
    return guarded([&] {
        if (parsed.root->kind() != Kind::Array)
            throw WrongValue(u"the script must be an array of texts and objects");
        std::u16string out;
        std::size_t position = 0;
        for (const JsonValue& item : parsed.root->array()) {
            ++position;
            switch (item.kind()) {
                case Kind::Null:
                    out += u"null";
                    break;
                case Kind::Text:
                    out += item.text();
                    break;
                case Kind::Object:
                case Kind::Array:
                    out += exec(item);
                    break;
                default:
                    throw WrongValue(u"script item " + text::fromUtf8(std::to_string(position)) +
                                     u" must be a text or an object");
            }
        }
        return out;
    });
}

ScriptResult cJSONScript::ExecCommand(const JsonValue& obj) {
    return guarded([&] { return exec(obj); });
}

std::optional<std::u16string> cJSONScript::variable(const std::u16string& name) const {
    auto it = variables_.find(name);
    if (it == variables_.end()) return std::nullopt;
    return it->second.value_or(std::u16string());
}

std::u16string cJSONScript::exec(const JsonValue& value) {
    if (level_ >= kMaxNesting) return std::u16string(kNestingExceeded);
    Nesting nesting(level_);
    switch (value.kind()) {
        case Kind::Empty:
            return {};
        case Kind::Null:
            return u"null";
        case Kind::Text:
            return value.text();
        case Kind::Boolean:
            return value.boolean() ? u"true" : u"false";
        case Kind::Number:
            return text::Replace(value.number().toText(), u",", u".");
        case Kind::Array: {
            std::u16string out;
            for (const JsonValue& item : value.array()) out += exec(item);
            return out;
        }
        case Kind::Object:
            return command(value.object());
    }
    return {};
}

void cJSONScript::alert(const JsonObject& a) {
    std::u16string message = exec(member(a, u"message"));
    std::u16string title = exec(member(a, u"title"));
    ui::messageBox(message, title, ui::vbInformation);
}

std::u16string cJSONScript::input(const JsonObject& a) {
    std::u16string prompt = exec(member(a, u"prompt"));
    std::u16string title = exec(member(a, u"title"));
    std::u16string defaultText = exec(member(a, u"default"));
    return ui::inputBox(prompt, title, defaultText);
}

// "switch": the "return" of the first item whose "case" is the selector (without case), else
// the "default".
std::u16string cJSONScript::choose(const std::u16string& key, const JsonObject& a) {
    std::u16string selector = text::LCase(exec(member(a, u"case")));
    std::u16string result = exec(member(a, u"default"));
    const JsonValue& items = member(a, u"items");
    if (items.kind() == Kind::Array) {
        for (const JsonValue& entry : items.array()) {
            if (entry.kind() != Kind::Object)
                throw WrongValue(u"every item of " + quoted(key) + u" must be an object");
            auto entryCase = literalText(member(entry.object(), u"case"), u"case");
            if (entryCase && text::LCase(*entryCase) == selector) {
                result = exec(member(entry.object(), u"return"));
                break;
            }
        }
    } else if (!items.isEmpty()) {
        throw WrongValue(u"the items of " + quoted(key) + u" must be an array");
    }
    return result;
}

void cJSONScript::set(const JsonObject& a) {
    std::u16string variable = requiredText(member(a, u"name"), u"name");
    variables_[variable] = exec(member(a, u"value"));
}

std::u16string cJSONScript::get(const JsonObject& a) {
    std::u16string variable = requiredText(member(a, u"name"), u"name");
    auto it = variables_.try_emplace(variable).first;
    std::u16string stored = it->second.value_or(std::u16string());
    return stored.empty() ? exec(member(a, u"default")) : stored;
}

// "if": "true" or "false" as "value1" and "value2" compare under "type".
std::u16string cJSONScript::test(const JsonObject& a) {
    std::u16string v1 = exec(member(a, u"value1"));
    std::u16string v2 = exec(member(a, u"value2"));
    std::u16string type = text::LCase(literalText(member(a, u"type"), u"type").value_or(u""));
    const int order = text::StrComp(v1, v2);
    bool holds = false;
    if (type == u"eq")
        holds = text::equalsNoCase(v1, v2);
    else if (type == u"gt")
        holds = order > 0;
    else if (type == u"lt")
        holds = order < 0;
    else if (type == u"gte")
        holds = order >= 0;
    else if (type == u"lte")
        holds = order <= 0;
    return exec(member(a, holds ? u"true" : u"false"));
}

std::u16string cJSONScript::placeholder(const std::u16string& key, const JsonValue& value) {
    std::u16string inside;
    if (value.kind() == Kind::Text) {
        inside = value.text();
    } else if (value.kind() == Kind::Object) {
        bool first = true;
        for (const auto& [k, v] : value.object().items()) {
            if (!first) inside += u',';
            first = false;
            inside += requiredText(v, k);
        }
    }
    return u"<%" + text::UCase(key) + u"(" + inside + u")%>";
}

std::u16string cJSONScript::command(const JsonObject& commands) {
    std::u16string out;
    for (const auto& [key, value] : commands.items()) {
        if (value.kind() != Kind::Text && value.kind() != Kind::Object &&
            value.kind() != Kind::Array)
            throw WrongValue(u"the value of " + quoted(key) + u" must be a text or an object");
        const std::u16string name = text::LCase(key);
        // The argument of the built-in commands: an object with named members.
        auto argument = [&]() -> const JsonObject& {
            if (value.kind() != Kind::Object)
                throw WrongValue(u"the command " + quoted(key) + u" needs an object");
            return value.object();
        };
        if (name == u"alert") {
            alert(argument());
        } else if (name == u"input") {
            out += input(argument());
        } else if (name == u"switch") {
            out += choose(key, argument());
        } else if (name == u"set") {
            set(argument());
        } else if (name == u"get") {
            out += get(argument());
        } else if (name == u"if") {
            out += test(argument());
        } else if (name == u"return") {
            if (value.kind() != Kind::Text)
                throw WrongValue(u"the command " + quoted(key) + u" needs a text");
            out += value.text();
        } else {
            out += placeholder(key, value);
        }
    }
    return out;
}

}  // namespace tessel::server
