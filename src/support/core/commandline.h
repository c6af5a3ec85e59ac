// Command lines as Windows programs read them: the program's name first, ended by its closing
// double quote or, unquoted, by the first blank; then the arguments, separated by blanks, in
// which double quotes group blanks (and are dropped). Portable: plain text in, text out.
#pragma once

#include <string>
#include <vector>

struct CommandArgument {
    std::string text;
    bool quoted = false;  // it stood wholly inside one pair of double quotes ("a b", not a"b")
};

// What follows the program's name in commandLine, without the blanks around it. Empty for a
// line that is only a name.
std::string CommandLineArguments(const char* commandLine);

// Such a text split into its arguments. An argument whose quote is not closed runs to the end.
std::vector<CommandArgument> SplitArguments(const std::string& arguments);
