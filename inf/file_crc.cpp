#include "inf/file_crc.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

namespace lomvik {

namespace {

// Large enough that a read costs little beside its copy, small enough that the CRC then finds the
// block still in the core's own cache (256 KiB measured best against 64, 128 and 512).
constexpr std::size_t kReadBlock = std::size_t{256} << 10;
// Large files are read by two threads, in alternate segments of this size.
constexpr std::uint64_t kSegment = std::uint64_t{32} << 20;
constexpr std::align_val_t kBufferAlignment{4096};

struct AlignedDelete {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, kBufferAlignment); }
};
using ReadBuffer = std::unique_ptr<std::uint8_t[], AlignedDelete>;

// Page-aligned: the system copies into an aligned buffer several times faster.
ReadBuffer make_read_buffer(std::size_t size) {
  return ReadBuffer(static_cast<std::uint8_t*>(::operator new[](size, kBufferAlignment)));
}

// A small file gets a small buffer: checking many small files costs their opening, not ours.
std::size_t buffer_size_for(std::uint64_t count) {
  constexpr auto kPage = static_cast<std::uint64_t>(kBufferAlignment);
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(kReadBlock, (count + kPage - 1) / kPage * kPage));
}

FileCrc failure(FileCrcProblem problem, int error = 0) { return {problem, error, 0, 0}; }

// Sees every block as it is read: copies the first bytes into the head, and counts them.
class ReadTap {
 public:
  explicit ReadTap(const ReadOptions& options)
      : head_(options.head), bytes_read_(options.bytes_read) {}
  void add(std::span<const std::uint8_t> bytes, bool first) {
    if (bytes_read_ != nullptr) bytes_read_->fetch_add(bytes.size(), std::memory_order_relaxed);
    if (!first || filled_ >= head_.size()) return;
    const std::size_t n = std::min(bytes.size(), head_.size() - filled_);
    std::memcpy(head_.data() + filled_, bytes.data(), n);
    filled_ += n;
  }

 private:
  std::span<std::uint8_t> head_;
  std::atomic<std::uint64_t>* bytes_read_;
  std::size_t filled_ = 0;
};

// Two threads each read and checksum every other segment of the range, each on its own core, and
// the segment CRCs are combined. Copying out of the page cache is what limits a single thread; two
// copy nearly twice as fast, and no data crosses from one core to the other.
FileCrc crc_of_range_in_parallel(const io::File& file, std::uint64_t offset, std::uint64_t count,
                                 ReadTap& tap) {
  std::atomic<int> error{0};
  std::atomic<bool> short_read{false};
  const auto work = [&](std::uint64_t first_segment, CrcValue& total) {
    const auto buffer = make_read_buffer(kReadBlock);
    for (std::uint64_t start = first_segment * kSegment; start < count; start += 2 * kSegment) {
      const std::uint64_t end = std::min(count, start + kSegment);
      CrcValue crc = 0;
      for (std::uint64_t at = start; at < end; at += kReadBlock) {
        if (error.load(std::memory_order_relaxed) != 0 ||
            short_read.load(std::memory_order_relaxed)) {
          return;
        }
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, end - at));
        const auto got = file.read_at({buffer.get(), length}, offset + at);
        if (!got) {
          error.store(got.error(), std::memory_order_relaxed);
          return;
        }
        if (*got < length) {
          short_read.store(true, std::memory_order_relaxed);
          return;
        }
        // Only the block at 0 may fill the head, so the two threads never share it.
        tap.add({buffer.get(), length}, at == 0);
        crc = crc_extend(crc, {buffer.get(), length});
      }
      // Each segment's CRC, shifted over the bytes that follow it, adds into the whole.
      total ^= crc_combine(crc, 0, count - end);
    }
  };
  CrcValue totals[2] = {0, 0};
  std::thread helper;
  try {
    helper = std::thread(work, 1, std::ref(totals[1]));
  } catch (const std::system_error&) {
    // No second thread to be had (a limit on processes): this one reads every segment.
  }
  work(0, totals[0]);
  if (helper.joinable()) {
    helper.join();
  } else {
    work(1, totals[1]);
  }
  if (error != 0) return failure(FileCrcProblem::read_failed, error);
  if (short_read) return failure(FileCrcProblem::ended_early);
  return {FileCrcProblem::none, 0, static_cast<CrcValue>(totals[0] ^ totals[1]), count};
}

// Exactly count bytes from offset.
FileCrc crc_of_range(const io::File& file, std::uint64_t offset, std::uint64_t count,
                     ReadTap& tap) {
  if (count >= 2 * kSegment && std::thread::hardware_concurrency() >= 2) {
    return crc_of_range_in_parallel(file, offset, count, tap);
  }
  const std::size_t block = buffer_size_for(count);
  const auto buffer = make_read_buffer(block);
  CrcValue crc = 0;
  for (std::uint64_t done = 0; done < count;) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block, count - done));
    const auto got = file.read_at({buffer.get(), wanted}, offset + done);
    if (!got) return failure(FileCrcProblem::read_failed, got.error());
    if (*got < wanted) return failure(FileCrcProblem::ended_early);
    tap.add({buffer.get(), wanted}, true);
    crc = crc_extend(crc, {buffer.get(), wanted});
    done += wanted;
  }
  return {FileCrcProblem::none, 0, crc, count};
}

// From the current position until a read gives nothing.
FileCrc crc_to_end(io::File& file, ReadTap& tap) {
  const auto buffer = make_read_buffer(kReadBlock);
  CrcValue crc = 0;
  std::uint64_t length = 0;
  for (;;) {
    const auto got = file.read({buffer.get(), kReadBlock});
    if (!got) return failure(FileCrcProblem::read_failed, got.error());
    if (*got == 0) break;
    tap.add({buffer.get(), *got}, true);
    crc = crc_extend(crc, {buffer.get(), *got});
    length += *got;
  }
  return {FileCrcProblem::none, 0, crc, length};
}

bool same_content_marks(const io::FileInfo& before, const io::FileInfo& after) {
  return before.size == after.size && before.modified_ns == after.modified_ns;
}

}  // namespace

ReadExtent read_extent(const io::FileInfo& info) {
  switch (info.kind) {
    case io::FileKind::regular:
      return info.size > 0 ? ReadExtent::reported_size : ReadExtent::to_end;
    case io::FileKind::block_device:
      return ReadExtent::end_offset;
    case io::FileKind::directory:
      return ReadExtent::refused;
    default:
      return ReadExtent::to_end;
  }
}

FileCrc crc_of_file(io::File& file, const io::FileInfo& info, std::uint64_t offset,
                    const ReadOptions& options) {
  ReadTap tap(options);
  if (options.change_check == ChangeCheck::strict && info.kind == io::FileKind::regular &&
      file.writers() == io::File::Writers::some) {
    return failure(FileCrcProblem::changed);
  }
  FileCrc result;
  switch (read_extent(info)) {
    case ReadExtent::refused:
      return failure(FileCrcProblem::read_failed, EISDIR);
    case ReadExtent::reported_size:
      result = crc_of_range(file, offset, info.size > offset ? info.size - offset : 0, tap);
      break;
    case ReadExtent::end_offset: {
      const auto end = file.end_offset();
      if (!end) return failure(FileCrcProblem::read_failed, end.error());
      result = crc_of_range(file, offset, *end > offset ? *end - offset : 0, tap);
      break;
    }
    case ReadExtent::to_end:
      if (offset > 0) {
        const auto at = file.seek(offset);
        if (!at) return failure(FileCrcProblem::read_failed, at.error());
      }
      result = crc_to_end(file, tap);
      break;
  }
  // A regular file's size and time of change tell whether it was written to while it was read; a
  // pipe's times move with every write and tell nothing.
  if (options.change_check != ChangeCheck::none && info.kind == io::FileKind::regular &&
      result.problem != FileCrcProblem::read_failed) {
    const auto after = file.info();
    if (!after) return failure(FileCrcProblem::read_failed, after.error());
    if (!same_content_marks(info, *after)) return failure(FileCrcProblem::changed);
  }
  return result;
}

}  // namespace lomvik
