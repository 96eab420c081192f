// Parsing the wizard script into commands.
#include "ui/script.h"

#include <charconv>

#include "ui/ui.h"

namespace ui {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The next blank-separated word of `rest` (which is advanced past it and one blank).
std::string_view NextWord(std::string_view* rest) {
    size_t start = 0;
    while (start < rest->size() && IsBlank((*rest)[start]))
        ++start;
    size_t end = start;
    while (end < rest->size() && !IsBlank((*rest)[end]))
        ++end;
    std::string_view word = rest->substr(start, end - start);
    *rest = rest->substr(end < rest->size() ? end + 1 : end);
    return word;
}

bool ParseNumber(std::string_view word, int32_t* value) {
    if (word.empty())
        return false;
    auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), *value);
    return ec == std::errc() && ptr == word.data() + word.size();
}

bool ParseLine(std::string_view line, ScriptCommand* cmd, std::string* why) {
    std::string_view rest = line;
    std::string_view word = NextWord(&rest);
    struct Simple {
        std::string_view name;
        ScriptVerb verb;
    };
    static constexpr Simple SIMPLE[] = {{"next", ScriptVerb::Next},
                                        {"back", ScriptVerb::Back},
                                        {"finish", ScriptVerb::Finish},
                                        {"cancel", ScriptVerb::Cancel},
                                        {"ok", ScriptVerb::Ok}};
    for (const Simple& s : SIMPLE) {
        if (word == s.name) {
            cmd->verb = s.verb;
            if (!NextWord(&rest).empty()) {
                *why = "\"" + std::string(word) + "\" takes nothing after it";
                return false;
            }
            return true;
        }
    }
    if (word == "select" || word == "type" || word == "click" || word == "expect") {
        cmd->verb = word == "select"  ? ScriptVerb::Select
                    : word == "type"  ? ScriptVerb::Type
                    : word == "click" ? ScriptVerb::Click
                                      : ScriptVerb::Expect;
        if (!ParseNumber(NextWord(&rest), &cmd->id)) {
            *why = "\"" + std::string(word) + "\" needs a number";
            return false;
        }
        if (cmd->verb == ScriptVerb::Select || cmd->verb == ScriptVerb::Type) {
            cmd->text = std::string(rest);
            cmd->hasText = true;
        } else if (!NextWord(&rest).empty()) {
            *why = "\"" + std::string(word) + "\" takes one number";
            return false;
        }
        return true;
    }
    if (word == "answer") {
        cmd->verb = ScriptVerb::Answer;
        std::string_view a = NextWord(&rest);
        if (a == "ok")
            cmd->id = IDOK;
        else if (a == "cancel")
            cmd->id = IDCANCEL;
        else if (a == "yes")
            cmd->id = IDYES;
        else if (a == "no")
            cmd->id = IDNO;
        else {
            *why = "\"answer\" needs ok, cancel, yes or no";
            return false;
        }
        if (!NextWord(&rest).empty()) {
            *why = "\"answer\" takes one word";
            return false;
        }
        return true;
    }
    if (word == "directory") {
        cmd->verb = ScriptVerb::Directory;
        cmd->text = std::string(rest);
        cmd->hasText = !rest.empty();
        return true;
    }
    *why = "unknown command \"" + std::string(word) + "\"";
    return false;
}

}  // namespace

bool ParseScript(std::string_view text, std::vector<ScriptCommand>* out, std::string* error) {
    out->clear();
    int32_t lineNo = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        size_t first = 0;
        while (first < line.size() && IsBlank(line[first]))
            ++first;
        if (first == line.size() || line[first] == '#')
            continue;
        ScriptCommand cmd;
        cmd.line = lineNo;
        std::string why;
        if (!ParseLine(line.substr(first), &cmd, &why)) {
            *error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
        out->push_back(std::move(cmd));
    }
    return true;
}

}  // namespace ui
