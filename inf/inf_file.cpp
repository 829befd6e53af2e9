#include "inf/inf_file.h"

#include <chrono>
#include <thread>

#include "inf/file_crc.h"

namespace lomvik {

namespace {

struct OpenInf {
  io::File file;
  io::FileInfo info;
};

// Opens the inf file without waiting for a FIFO or a device, and keeps it only when it is a
// regular file other than the data file.
std::optional<OpenInf> open_inf(const std::string& inf_name, io::Access access,
                                const DataFileId& data_file) {
  auto file = io::File::open(inf_name, access, io::Blocking::never);
  if (!file) return std::nullopt;
  const auto info = file->info();
  if (!info || info->kind != io::FileKind::regular) return std::nullopt;
  if (data_file && info->id == *data_file) return std::nullopt;
  return OpenInf{std::move(*file), *info};
}

// Writes text at offset 0 of an inf file opened with access and closes it; with whole set, the
// text is all that the file holds afterwards. Any failure is an io_error.
InfResult write_at_start(const std::string& inf_name, io::Access access, bool whole,
                         const std::string& text, const DataFileId& data_file) {
  auto inf = open_inf(inf_name, access, data_file);
  if (!inf) return InfResult::io_error;
  io::File& file = inf->file;
  // Cutting what is left after the text, rather than emptying the file first, leaves a file that
  // already has the right length alone: emptying makes some file systems write it out at close.
  const bool written = file.write_at(text, 0) == 0 &&
                       (!whole || inf->info.size <= text.size() || file.resize(text.size()) == 0);
  const bool closed = file.close() == 0;
  return written && closed ? InfResult::ok : InfResult::io_error;
}

}  // namespace

std::string inf_name_for(std::string_view data_name) {
  std::string name(data_name);
  name += ".inf";
  return name;
}

io::Result<io::FileInfo> lock_inf_file(io::File& file, io::LockKind kind) {
  using namespace std::chrono_literals;
  for (const auto pause : {1ms, 10ms, 100ms, 0ms}) {
    if (const int error = file.lock(kind); error != 0) {
      return io::Result<io::FileInfo>::failure(error);
    }
    auto info = file.info();
    if (!info || kind == io::LockKind::exclusive || info->kind != io::FileKind::regular ||
        info->size != 0 || pause == 0ms) {
      return info;
    }
    file.unlock();
    std::this_thread::sleep_for(pause);
  }
  return file.info();
}

std::optional<io::File> lock_inf(const std::string& inf_name, io::LockKind kind, bool create,
                                 const DataFileId& data_file) {
  auto inf = open_inf(inf_name, create ? io::Access::write : io::Access::read, data_file);
  if (!inf || !lock_inf_file(inf->file, kind)) return std::nullopt;
  return std::move(inf->file);
}

InfResult stamp_new_inf(const std::string& inf_name, CrcValue data_crc,
                        const DataFileId& data_file) {
  // Opened without cutting it: what the name leads to is looked at before anything is lost.
  return write_at_start(inf_name, io::Access::write, true, "0000" + format_crc(data_crc) + "\n",
                        data_file);
}

InfResult stamp_existing_inf(const std::string& inf_name, CrcValue data_crc,
                             const DataFileId& data_file) {
  return write_at_start(inf_name, io::Access::update, false, "0000" + format_crc(data_crc),
                        data_file);
}

InfCrc inf_body_crc(const std::string& inf_name, const DataFileId& data_file) {
  auto inf = open_inf(inf_name, io::Access::read, data_file);
  if (!inf) return {InfResult::io_error, 0};
  // The run holds the inf file's lock, which keeps other runs from writing it meanwhile.
  ReadOptions options;
  options.change_check = ChangeCheck::none;
  const FileCrc body = crc_of_file(inf->file, inf->info, 4, options);
  if (!body.ok()) return {InfResult::io_error, 0};
  return {InfResult::ok, body.crc};
}

InfResult seal_inf(const std::string& inf_name, CrcValue inf_crc, const DataFileId& data_file) {
  return write_at_start(inf_name, io::Access::update, false, format_crc(inf_crc), data_file);
}

}  // namespace lomvik
