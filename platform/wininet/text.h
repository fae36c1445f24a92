// ASCII case folding, as protocols compare names and keywords.
#ifndef PLATFORM_WININET_TEXT_H
#define PLATFORM_WININET_TEXT_H

#include <string>
#include <string_view>

namespace wininet {

char Lower(char c);
std::string Lowered(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace wininet

#endif  // PLATFORM_WININET_TEXT_H
