// tarvik-payload verify: the check a release pipeline runs on an installer before signing it.
#pragma once

enum class MissingFixed { kAllowed, kProblem };

// One line per problem on standard output, then a summary line; exit code 0 when everything
// holds, 1 otherwise. Missing fixed entries are noted, and are problems with kProblem.
int VerifyInstaller(const char* path, MissingFixed missing);
