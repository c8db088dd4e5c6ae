// Just enough JSON for index.json and --list --json.
#pragma once

#include <string>

// text as a JSON string, quotes included. Bytes that are not UTF-8 (a file
// name can hold anything) become U+FFFD, so that the document stays valid.
std::string json_quote(const std::string &text);
