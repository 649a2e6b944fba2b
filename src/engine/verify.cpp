#include "engine/verify.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "engine/step_actions.h"
#include "fsutil/beneath.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::FileReader;
using platform::FsStatus;
using platform::MismatchStatus;

constexpr std::size_t kCompareChunk = std::size_t{1} << 20;

// Fills `buffer` with the next `size` bytes of what a file must hold, fewer only at its end.
using ChunkSource = std::function<FsStatus(char*, std::size_t, std::size_t&)>;

// Reads until `size` bytes are in or the file ends; short reads are no end.
FsStatus ReadFull(FileReader& reader, char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    std::size_t more = 0;
    if (FsStatus read = reader.Read(buffer + got, size - got, more); !read) return read;
    if (more == 0) break;
    got += more;
  }
  return {};
}

// Whether `reader` has anything left, read into `probe`.
FsStatus HasMore(FileReader& reader, char* probe, bool& more) {
  std::size_t got = 0;
  FsStatus read = ReadFull(reader, probe, 1, got);
  more = got > 0;
  return read;
}

// Compares what `reader` gives with what `expected` gives, chunk by chunk; `expected` fills
// whole chunks until its last one.
FsStatus CompareStreams(FileReader& reader, const std::string& path, const ChunkSource& expected,
                        const platform::ByteProgress& progress) {
  // One pair of chunks per thread, left uninitialised and kept for the next file: allocating
  // and zeroing two fresh megabytes per file cost more (in page faults) than the reading itself.
  static thread_local const std::unique_ptr<char[]> ours =
      std::make_unique_for_overwrite<char[]>(kCompareChunk);
  static thread_local const std::unique_ptr<char[]> theirs =
      std::make_unique_for_overwrite<char[]>(kCompareChunk);
  std::uint64_t offset = 0;
  for (;;) {
    std::size_t want = 0;
    if (FsStatus read = expected(theirs.get(), kCompareChunk, want); !read) return read;
    std::size_t got = 0;
    if (FsStatus read = ReadFull(reader, ours.get(), want, got); !read) return read;
    if (got < want) return MismatchStatus("файл на диске короче, чем должен быть", path);
    if (std::memcmp(ours.get(), theirs.get(), want) != 0) {
      std::size_t at = 0;
      while (ours[at] == theirs[at]) ++at;
      return MismatchStatus("содержимое файла на диске отличается от записанного (байт " +
                                std::to_string(offset + at) + ")",
                            path);
    }
    offset += want;
    if (progress && want > 0) progress(want);
    if (want < kCompareChunk) {
      bool longer = false;
      if (FsStatus read = HasMore(reader, ours.get(), longer); !read) return read;
      if (longer) return MismatchStatus("файл на диске длиннее, чем должен быть", path);
      return {};
    }
  }
}

// How many files ahead of the one being compared are already on their way from the device. A
// device answers many requests at once faster than the same requests one after another; each
// file asked for keeps at most a read-ahead window of pages waiting.
constexpr std::size_t kFilesReadAhead = 16;

bool ReadAhead(BuildRun& run, const std::string& drive, const WrittenFile& file) {
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(file.relative, folder, name);
  platform::Directory* on_drive = nullptr;
  return run.Folder(drive, folder, on_drive).ok() && on_drive->ReadAhead(name);
}

}  // namespace

FsStatus CompareWithFile(platform::Directory& folder, std::string_view name,
                         platform::Directory& source, std::string_view source_name,
                         bool from_device, const platform::ByteProgress& progress) {
  const std::string path = platform::JoinPath(folder.path(), name);
  std::unique_ptr<FileReader> original;
  if (FsStatus opened = source.OpenForReading(source_name, false, original); !opened) {
    return opened;
  }
  std::unique_ptr<FileReader> written;
  if (FsStatus opened = folder.OpenForReading(name, from_device, written); !opened) return opened;
  return CompareStreams(
      *written, path,
      [&](char* buffer, std::size_t size, std::size_t& got) {
        return ReadFull(*original, buffer, size, got);
      },
      progress);
}

FsStatus CompareWithBytes(platform::Directory& folder, std::string_view name,
                          std::string_view bytes, bool from_device,
                          const platform::ByteProgress& progress) {
  const std::string path = platform::JoinPath(folder.path(), name);
  std::unique_ptr<FileReader> written;
  if (FsStatus opened = folder.OpenForReading(name, from_device, written); !opened) return opened;
  return CompareStreams(
      *written, path,
      [&](char* buffer, std::size_t size, std::size_t& got) {
        got = std::min(size, bytes.size());
        std::memcpy(buffer, bytes.data(), got);
        bytes.remove_prefix(got);
        return FsStatus{};
      },
      progress);
}

void VerifyWrittenFile(BuildRun& run, const std::string& kit, const std::string& drive,
                       const WrittenFile& file, bool read_ahead) {
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(file.relative, folder, name);
  platform::Directory* on_drive = nullptr;
  run.Working(platform::JoinPayloadPath(drive, file.relative));
  FsStatus status = run.Folder(drive, folder, on_drive);
  if (status && file.content) {
    // A few bytes composed by the build: not part of what the bar measures (the kit's files).
    status = CompareWithBytes(*on_drive, name, *file.content, !read_ahead);
  } else if (status) {
    std::string_view kit_folder;
    std::string_view kit_name;
    fsutil::SplitRelative(file.kit_relative, kit_folder, kit_name);
    platform::Directory* in_kit = nullptr;
    status = run.Folder(kit, kit_folder, in_kit);
    if (status) {
      status = CompareWithFile(*on_drive, name, *in_kit, kit_name, !read_ahead, run.MovedHook());
    }
  }
  run.log().Check(std::string(action::kVerifyFile), status,
                  platform::JoinPayloadPath(drive, file.relative));
}

// A file whose read-ahead did not happen drops its cached pages when it is opened instead.
void VerifyWrittenFiles(BuildRun& run, const std::string& kit, const std::string& drive,
                        const std::vector<const WrittenFile*>& files) {
  std::vector<bool> read_ahead(files.size(), false);
  std::size_t asked = 0;
  for (std::size_t index = 0; index < files.size(); ++index) {
    for (; asked < files.size() && asked <= index + kFilesReadAhead; ++asked) {
      read_ahead[asked] = ReadAhead(run, drive, *files[asked]);
    }
    VerifyWrittenFile(run, kit, drive, *files[index], read_ahead[index]);
  }
}

}  // namespace talvex::build
