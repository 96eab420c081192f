// Problems the Simple MAPI calls can only answer with a code, told in words as well.
#pragma once

#include <string>

namespace mapi {

// Writes "mapi32: <text>" as one line on standard error, so that a refused logon or send
// says why (the calls themselves answer only the Simple MAPI code).
void ReportProblem(const std::string& text);

}  // namespace mapi
