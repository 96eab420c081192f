// The wizard script: the answers that the scripted front end gives, one command a line.
// The format is described in docs/wizard-script.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class ScriptVerb {
    Next,       // next
    Back,       // back
    Finish,     // finish
    Cancel,     // cancel        (the wizard's or the dialog's Cancel)
    Ok,         // ok            (the dialog's OK)
    Select,     // select ID TEXT
    Type,       // type ID TEXT
    Click,      // click ID
    Answer,     // answer ok|cancel|yes|no
    Directory,  // directory [PATH]   (no PATH: the chooser is cancelled)
    Expect,     // expect TEMPLATE
};

struct ScriptCommand {
    ScriptVerb verb = ScriptVerb::Next;
    int32_t id = 0;    // control id (select, type, click), template (expect), answer (IDOK...)
    std::string text;  // select, type, directory
    bool hasText = false;
    int32_t line = 0;  // 1-based line in the script
};

// Parses a whole script. Lines are separated by LF (a CR before it is dropped); blank lines
// and lines whose first non-blank character is '#' are skipped. A command word and its
// control id are separated by blanks; TEXT is the rest of the line after exactly one blank,
// kept as it stands. Answers false with the line number and a reason in *error for the
// first line that is not a command; *out then holds the commands before it.
bool ParseScript(std::string_view text, std::vector<ScriptCommand>* out, std::string* error);

}  // namespace ui
