// Wildcard matching of file names against lists such as "*.tds|*.log": '?' is any one
// character, '*' any run, and ASCII letters match in either case. Portable, no platform calls.
#pragma once

// True when the whole name matches the pattern. Only the first and the last '*' act as
// wildcards; any '*' between them is an ordinary character. False when either text is null.
bool MatchPattern(const char* name, const char* pattern);

// True when name matches at least one pattern of list; patterns are separated by ';' or '|'
// and empty ones are ignored. False when either text is null.
bool MatchPatternList(const char* name, const char* list);
