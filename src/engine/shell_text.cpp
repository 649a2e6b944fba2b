#include "engine/shell_text.h"

#include <array>
#include <cstdint>

namespace talvex::build {
namespace {

// The code points of the bytes 0x80 to 0xFF of Windows-1251; 0 marks 0x98, which has none.
constexpr std::array<char16_t, 128> kCp1251Upper = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // 0xF8
};

std::optional<char> Cp1251ByteOf(char32_t code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  for (std::size_t index = 0; index < kCp1251Upper.size(); ++index) {
    if (kCp1251Upper[index] != 0 && kCp1251Upper[index] == code_point) {
      return static_cast<char>(0x80 + index);
    }
  }
  return std::nullopt;
}

// Decodes the character at `offset` and moves past it; nullopt for malformed UTF-8 (overlong
// forms, surrogates and values above U+10FFFF included).
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  std::size_t length = 0;
  char32_t code_point = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    ++offset;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code_point = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code_point = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code_point = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (offset + length > text.size()) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[offset + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < smallest || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return std::nullopt;
  }
  offset += length;
  return code_point;
}

}  // namespace

std::string EscapeForDoubleQuotes(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (char c : value) {
    if (c == '"' || c == '$' || c == '`' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool HasLineBreak(std::string_view value) {
  return value.find_first_of("\r\n") != std::string_view::npos;
}

std::optional<std::string> Utf8ToCp1251(std::string_view utf8, EncodingProblem* problem) {
  std::string converted;
  converted.reserve(utf8.size());
  std::size_t offset = 0;
  while (offset < utf8.size()) {
    const std::size_t start = offset;
    std::optional<char32_t> code_point = DecodeUtf8(utf8, offset);
    std::optional<char> byte = code_point ? Cp1251ByteOf(*code_point) : std::nullopt;
    if (!byte) {
      if (problem != nullptr) *problem = {start, code_point.value_or(0), !code_point.has_value()};
      return std::nullopt;
    }
    converted += *byte;
  }
  return converted;
}

}  // namespace talvex::build
