// One line per problem on standard error.
#include "providers/simplemapi/problem_report.h"

#include <cstdio>

namespace mapi {

void ReportProblem(const std::string& text) {
    const std::string line = "mapi32: " + text + "\n";
    // One call, so that lines of several threads or processes never interleave.
    (void)std::fwrite(line.data(), 1, line.size(), stderr);  // nothing more can be done
    (void)std::fflush(stderr);
}

}  // namespace mapi
