// The text of the program's resource script, built from the dialog template
// table. Kept apart from the generator's main so that it can be tested.
#pragma once

#include <map>
#include <string>
#include <string_view>

struct ResourceFiles {
  std::map<int, std::string> bitmaps;  // resource id -> .bmp file
  std::map<int, std::string> icons;    // resource id -> .ico file
};

// `text` as a resource script string literal, quotes included: quotes
// doubled, backslashes, tabs and line breaks escaped, every other byte
// outside printable ASCII written in octal.
std::string QuoteResourceString(std::string_view text);

// The whole script: one DIALOGEX per template, BITMAP and ICON statements
// for every id the template table names, and VERSIONINFO from `version`
// ("1.04" -> 1,4,0,0). Empty with `problem` set when a file is missing for
// an id or the version cannot be read.
std::string MakeResourceScript(const ResourceFiles& files, std::string_view title,
                               std::string_view version, std::string& problem);
