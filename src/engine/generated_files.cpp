#include "engine/generated_files.h"

#include <cstdio>

#include "engine/shell_text.h"

namespace talvex::build {
namespace {

std::string FieldLabel(const options::OptionField& field) {
  return "Поле \"" + std::string(field.caption) + "\" (" + std::string(field.name) + ")";
}

std::string CodePointText(char32_t code_point) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code_point));
  return text;
}

// The field's value as it goes between the double quotes, or the refusal that names the field.
GeneratedContent FieldBytes(options::TextField member, const options::BuildOptions& options) {
  const options::OptionField* field = &options::FieldOf(member);
  const std::string_view value = field->filter == options::TextFilter::kAddress
                                     ? options::TrimmedAddress(options.*member)
                                     : std::string_view(options.*member);
  if (HasLineBreak(value)) {
    return {{}, FieldLabel(*field) + " содержит перевод строки; файл не записан"};
  }
  EncodingProblem problem;
  std::optional<std::string> encoded = Utf8ToCp1251(EscapeForDoubleQuotes(value), &problem);
  if (!encoded) {
    if (problem.malformed) {
      return {{},
              FieldLabel(*field) + " содержит недопустимую последовательность UTF-8; " +
                  "файл не записан"};
    }
    return {{},
            FieldLabel(*field) + " содержит символ " + CodePointText(problem.code_point) +
                ", которого нет в кодировке Windows-1251; файл не записан"};
  }
  return {std::move(*encoded), {}};
}

std::string LoaderList(const options::BuildOptions& options) {
  std::string list;
  for (const LoaderEntry& entry : kLoaderEntries) {
    if (options::IsTicked(options.*entry.CheckBox)) list += LoaderEntryText(entry);
  }
  return list;
}

}  // namespace

std::string LoaderEntryText(const LoaderEntry& entry) {
  return "$SYSROOT/../" + std::string(entry.Folder) + "/loader.so ";
}

bool AnyLoaderTicked(const options::BuildOptions& options) {
  for (const LoaderEntry& entry : kLoaderEntries) {
    if (options::IsTicked(options.*entry.CheckBox)) return true;
  }
  return false;
}

GeneratedContent ComposeGeneratedFile(std::span<const Piece> pieces,
                                      const options::BuildOptions& options) {
  GeneratedContent content;
  for (const Piece& piece : pieces) {
    switch (piece.kind) {
      case PieceKind::kFixed:
        content.bytes += piece.text;
        break;
      case PieceKind::kField: {
        GeneratedContent field = FieldBytes(piece.field, options);
        if (!field.ok()) return {{}, std::move(field.refusal)};
        content.bytes += field.bytes;
        break;
      }
      case PieceKind::kTransport:
        content.bytes += options::IsTicked(options.CheckUDP) ? "udp" : "tcp";
        break;
      case PieceKind::kLoaderList:
        content.bytes += LoaderList(options);
        break;
    }
  }
  return content;
}

}  // namespace talvex::build
