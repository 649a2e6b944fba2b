// The three files a build generates from the user's choices: the share mount settings access_nfs
// and access_smb, and the extension loader list `libraries`. Each is described as a table of
// pieces, written one after the other.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "options/applications.h"
#include "options/build_options.h"

namespace talvex::build {

// Where the generated files and the loaders' start script live, relative to the kit folder (the
// master copy) and to the drive's root alike.
inline constexpr std::string_view kAccessNfsPath = "\\Talvex\\etc\\init.d\\access_nfs";
inline constexpr std::string_view kAccessSmbPath = "\\Talvex\\etc\\init.d\\access_smb";
inline constexpr std::string_view kLibrariesPath = "\\Talvex\\etc\\init.d\\libraries";
inline constexpr std::string_view kGameInitPath = "\\Talvex\\etc\\init.d\\05_01_game.init";

enum class PieceKind {
  kFixed,       // `text` as it stands (ASCII)
  kField,       // the text field `field`, escaped and in Windows-1251
  kTransport,   // "udp" when CheckUDP is ticked, otherwise "tcp"
  kLoaderList,  // the entries of the ticked loader boxes, in loader table order
};

struct Piece {
  PieceKind kind;
  std::string_view text = {};
  options::TextField field = nullptr;
};

constexpr Piece Fixed(std::string_view text) {
  return Piece{PieceKind::kFixed, text};
}

// The piece that writes the text field `field`.
constexpr Piece Value(options::TextField field) {
  return Piece{PieceKind::kField, {}, field};
}

inline constexpr std::string_view kQuote = "\"";
inline constexpr std::string_view kLineEnd = " # ";  // keeps the break out of the value
inline constexpr std::string_view kLineFeed = "\n";
inline constexpr std::string_view kRecordEnd = "\r\n";  // after the last line only

inline constexpr std::array<Piece, 14> kAccessNfsPieces = {{
    Fixed("SERVER="),
    Fixed(kQuote),
    Value(&options::BuildOptions::TextIP),
    Fixed(kQuote),
    Fixed(kLineEnd),
    Fixed(kLineFeed),
    Fixed("M_OPTS="),
    Fixed(kQuote),
    Fixed("soft,"),
    {PieceKind::kTransport},
    Fixed(",nolock"),
    Fixed(kQuote),
    Fixed(kLineEnd),
    Fixed(kRecordEnd),
}};

inline constexpr std::array<Piece, 24> kAccessSmbPieces = {{
    Fixed("USER="),   Fixed(kQuote),   Value(&options::BuildOptions::TexSMBlog),
    Fixed(kQuote),    Fixed(kLineEnd), Fixed(kLineFeed),
    Fixed("PASSWD="), Fixed(kQuote),   Value(&options::BuildOptions::TexSMBpas),
    Fixed(kQuote),    Fixed(kLineEnd), Fixed(kLineFeed),
    Fixed("SERVER="), Fixed(kQuote),   Value(&options::BuildOptions::TexSMBip),
    Fixed(kQuote),    Fixed(kLineEnd), Fixed(kLineFeed),
    Fixed("SHARES="), Fixed(kQuote),   Value(&options::BuildOptions::TexSMBsh),
    Fixed(kQuote),    Fixed(kLineEnd), Fixed(kRecordEnd),
}};

inline constexpr std::array<Piece, 6> kLibrariesPieces = {{
    Fixed("libraries="),
    Fixed(kQuote),
    {PieceKind::kLoaderList},
    Fixed(kQuote),
    Fixed(kLineEnd),
    Fixed(kRecordEnd),
}};

// One loader of the list: the loader.so in an application's folder.
struct LoaderEntry {
  options::CheckState options::BuildOptions::*CheckBox = nullptr;
  std::string_view Folder;
};

// The applications that have a loader, in the applications' order.
inline constexpr std::array<LoaderEntry, options::LoaderCount()> kLoaderEntries = [] {
  std::array<LoaderEntry, options::LoaderCount()> entries{};
  std::size_t next = 0;
  for (const options::Application& app : options::kApplications) {
    if (app.has_loader) entries.at(next++) = {app.box, app.folder};
  }
  return entries;
}();

// The entry's text in the list. Every entry ends in a space, so entries need no separator.
std::string LoaderEntryText(const LoaderEntry& entry);

// Whether any loader box is ticked, which is when the loader list is written at all.
bool AnyLoaderTicked(const options::BuildOptions& options);

// The content of a generated file, or the reason it must not be written at all.
struct GeneratedContent {
  std::string bytes;
  std::string refusal;  // names the field at fault; empty when `bytes` is the file
  bool ok() const { return refusal.empty(); }
};

// The pieces written one after another. A field whose text holds a line break, or a character
// that Windows-1251 lacks, refuses the whole file: a shortened or substituted value (a password
// above all) would fail on the television with no hint why.
GeneratedContent ComposeGeneratedFile(std::span<const Piece> pieces,
                                      const options::BuildOptions& options);

}  // namespace talvex::build
