// Reading command lines: the program's name, then arguments split at blanks outside quotes.
#include "commandline.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string CommandLineArguments(const char* commandLine) {
    const char* at = commandLine;
    if (*at == '"') {
        ++at;
        while (*at != '\0' && *at != '"') ++at;
        if (*at == '"') ++at;
    } else {
        while (*at != '\0' && !IsBlank(*at)) ++at;
    }
    while (IsBlank(*at)) ++at;
    std::string arguments(at);
    while (!arguments.empty() && IsBlank(arguments.back())) arguments.pop_back();
    return arguments;
}

std::vector<CommandArgument> SplitArguments(const std::string& arguments) {
    std::vector<CommandArgument> split;
    size_t at = 0;
    while (at < arguments.size()) {
        while (at < arguments.size() && IsBlank(arguments[at])) ++at;
        if (at == arguments.size()) break;
        const size_t start = at;
        CommandArgument argument;
        bool inQuotes = false;
        int quotes = 0;
        for (; at < arguments.size() && (inQuotes || !IsBlank(arguments[at])); ++at) {
            if (arguments[at] == '"') {
                inQuotes = !inQuotes;
                ++quotes;
            } else {
                argument.text += arguments[at];
            }
        }
        argument.quoted = quotes == 2 && arguments[start] == '"' && arguments[at - 1] == '"';
        split.push_back(argument);
    }
    return split;
}
