// What the issuing server's replies mean: the result codes, the state codes and the replies
// whose meaning depends on the request, in one table. The protocol client prints a reply's
// meaning beside it and prints the whole table with --codes.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tessel::client {

struct CodeMeaning {
    std::string_view code;
    std::string_view meaning;
};

// The two characters after the echoed request code.
inline constexpr CodeMeaning kResultCodes[] = {
    {"00", "done; the text is the state code (CE30/CE40: \"01\", CE91: the viewer's version)"},
    {"02", "failed; the text says why (a state code, or the error message)"},
    {"09", "notification from the viewer during a run"},
    {"60", "unknown command; the text is the viewer's version"},
};

// The state: the text of most replies, and the result of a poll (CE09).
inline constexpr CodeMeaning kStateCodes[] = {
    {"00", "idle: the configuration was loaded, no issue is set up"},
    {"01", "set up (CE00 done); pages can be added and the issue run"},
    {"10", "running: the viewer has a printer and waits in the printer dialog or prints"},
    {"30", "printed"},
    {"31", "the viewer ran and nothing was printed"},
    {"40", "the viewer reported an error"},
};

// Whole replies whose meaning the request gives (code, result and text as the client prints).
inline constexpr CodeMeaning kReplies[] = {
    {"CE00 00 01", "set up"},
    {"CE00 02 ...", "set-up failed; the text is the layout status, \";\", the error message"},
    {"CE01 00 01", "page added"},
    {"CE01 02 ...", "page refused; the text is the layout status, \";\", the error message"},
    {"CE02 00 30", "printed"},
    {"CE02 02 31", "the viewer ran and nothing was printed"},
    {"CE02 02 01", "not run: no printer available, or no page; or refused during another run"},
    {"CE02 02 00", "not run: nothing was set up"},
    {"CE02 02 10", "the viewer had a printer and gave no result; or refused during another run"},
    {"CE02 02 ...", "the viewer reported an error; the text is its message"},
    {"CE09 XX", "poll: XX is the state code"},
    {"CE30 00 01", "viewer hidden"},
    {"CE40 00 01", "viewer hidden"},
    {"CE91 00 ...", "the viewer's version"},
    {"CE90", "reload: no reply, the server drops the connection"},
};

inline std::string_view meaningOf(std::span<const CodeMeaning> table, std::string_view code) {
    for (const auto& row : table)
        if (row.code == code) return row.meaning;
    return {};
}

// The meaning of one reply: request code, two-character result and the rest of the body, from
// the tables above: the whole reply, then the reply with any text ("..."), then the result
// code with the state its text names.
inline std::string describeReply(std::string code, std::string_view result, std::string_view text) {
    for (char& c : code)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::string head = code + " " + std::string(result);
    if (code == "CE09") {
        std::string_view state = meaningOf(kStateCodes, result);
        return "poll: " + (state.empty() ? "unknown state" : std::string(state));
    }
    if (auto m = meaningOf(kReplies, head + " " + std::string(text)); !m.empty())
        return std::string(m);
    if (auto m = meaningOf(kReplies, head + " ..."); !m.empty()) return std::string(m);
    std::string_view m = meaningOf(kResultCodes, result);
    std::string out = m.empty() ? "unknown result" : std::string(m.substr(0, m.find(';')));
    if (auto state = meaningOf(kStateCodes, text); !state.empty() && result != "60")
        out += "; state " + std::string(text) + ": " + std::string(state);
    return out;
}

// The table as markdown, for the README.
inline std::string codesMarkdown() {
    std::string out;
    auto section = [&out](const char* title, const char* head, std::span<const CodeMeaning> table) {
        out += "### ";
        out += title;
        out += "\n\n| ";
        out += head;
        out += " | meaning |\n|---|---|\n";
        for (const auto& row : table) {
            out += "| `";
            out += row.code;
            out += "` | ";
            out += row.meaning;
            out += " |\n";
        }
        out += "\n";
    };
    section("Result codes", "result", kResultCodes);
    section("State codes", "state", kStateCodes);
    section("Replies", "reply", kReplies);
    return out;
}

}  // namespace tessel::client
