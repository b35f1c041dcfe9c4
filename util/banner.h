// The tool chain's banner: processor family, tool title and release version.
#pragma once

#include <cstdio>

namespace OFE {

// "20.12.0".
const char* banner_version();
// Names the tool in the banner: the title after the family name ("Name Utility" until it is set). The
// text is not copied; a string literal is what the tools pass.
void set_banner_title(const char* title);
// The tool's title, as the banner shows it after the family name.
const char* banner_title();
// The product text padded or cut to 40 columns, then the release text, e.g.
// "Kite Name Utility                       v20.12.0.STS".
void print_banner(FILE* stream);
// The banner, then "Build Number " and the build identifier.
void print_build_number(FILE* stream);
// The build identifier: compiler, build date and time, source branch (letters, digits and "-").
const char* build_identifier();

}  // namespace OFE
