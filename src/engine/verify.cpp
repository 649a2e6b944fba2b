#include "engine/verify.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

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
    if (progress && want > 0 && !progress(want)) {
      return platform::RefusalStatus(platform::FsReason::kStopped, path);
    }
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

bool ReadAhead(BuildRun& run, const FileToCompare& file) {
  const fsutil::SplitPath at = fsutil::SplitRelative(file.at);
  platform::Directory* on_drive = nullptr;
  return run.DriveFolder(at.folder, on_drive).ok() && on_drive->ReadAhead(at.name);
}

FsStatus CompareOne(BuildRun& run, const PlanItem& item, const FileToCompare& file,
                    bool from_device) {
  const fsutil::SplitPath at = fsutil::SplitRelative(file.at);
  platform::Directory* on_drive = nullptr;
  if (FsStatus opened = run.DriveFolder(at.folder, on_drive); !opened) return opened;
  if (item.bytes != nullptr) {
    return CompareWithBytes(*on_drive, at.name, *item.bytes, from_device, run.MovedHook());
  }
  const fsutil::SplitPath source = fsutil::SplitRelative(item.Source());
  platform::Directory* in_kit = nullptr;
  if (FsStatus opened = run.KitFolder(source.folder, in_kit); !opened) return opened;
  return CompareWithFile(*on_drive, at.name, *in_kit, source.name, from_device, run.MovedHook());
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

void CompareFiles(BuildRun& run, const BuildPlan& plan, const std::vector<FileToCompare>& files,
                  bool from_device,
                  const std::function<void(std::size_t index, const FsStatus&)>& compared) {
  // A file whose read-ahead did not happen drops its cached pages when it is opened instead.
  std::vector<bool> read_ahead(files.size(), false);
  std::size_t asked = 0;
  for (std::size_t index = 0; index < files.size() && !run.StopAsked(); ++index) {
    if (from_device) {
      for (; asked < files.size() && asked <= index + kFilesReadAhead; ++asked) {
        read_ahead[asked] = ReadAhead(run, files[asked]);
      }
    }
    const FileToCompare& file = files[index];
    run.BeginStep(file.item, platform::JoinPayloadPath(run.context().target_drive,
                                                       plan.items[file.item].relative));
    compared(index,
             CompareOne(run, plan.items[file.item], file, from_device && !read_ahead[index]));
  }
}

}  // namespace talvex::build
