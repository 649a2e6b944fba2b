// Turning typed text into bytes that the television's shell reads back unchanged: the escaping
// inside double quotes, and the single-byte code page the television expects.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvex::build {

// `value` with a backslash put before each character that keeps a special meaning inside double
// quotes: the double quote, the dollar sign, the backquote and the backslash. Any other text,
// Cyrillic included, comes back byte for byte.
std::string EscapeForDoubleQuotes(std::string_view value);

// Whether the text holds a carriage return or a line feed, which would end the assignment's line.
bool HasLineBreak(std::string_view value);

// Why a text cannot be written in Windows-1251: the first character that has no byte there.
struct EncodingProblem {
  std::size_t offset = 0;  // of the character in the UTF-8 input
  char32_t code_point = 0;
  bool malformed = false;  // the input is not valid UTF-8 at `offset`
};

// Converts UTF-8 to Windows-1251 (ASCII and Cyrillic). Nothing is ever replaced by a substitute:
// a character the code page lacks, or malformed UTF-8, gives `problem` and no text.
std::optional<std::string> Utf8ToCp1251(std::string_view utf8, EncodingProblem* problem = nullptr);

}  // namespace talvex::build
