#include "inf/inf_check.h"

#include <cerrno>
#include <optional>
#include <span>

#include "inf/inf_file.h"

namespace lomvik {

namespace {

// Four lowercase hexadecimal digits, as the tool writes them; anything else is not a CRC.
std::optional<CrcValue> parse_crc(std::span<const std::uint8_t, 4> text) {
  unsigned value = 0;
  for (const std::uint8_t c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return static_cast<CrcValue>(value);
}

bool kind_allowed(io::FileKind kind, bool block_device_allowed) {
  return kind == io::FileKind::regular ||
         (block_device_allowed && kind == io::FileKind::block_device);
}

struct Opened {
  io::File file;
  io::FileInfo info;
};

// Opens a file to be checked without waiting; a file whose kind is not allowed is not read.
// Returns the problem when there is one, with check.error set.
std::optional<Opened> open_checked(const io::Folder& folder, const std::string& name,
                                   bool listed_regular, bool block_device_allowed,
                                   std::optional<io::LockKind> lock, CheckProblem unreadable,
                                   CheckProblem not_regular, InfCheck& check) {
  const auto fail = [&](CheckProblem problem, int error) -> std::optional<Opened> {
    check.problem = problem;
    check.read_problem = FileCrcProblem::read_failed;
    check.error = error;
    return std::nullopt;
  };
  if (!listed_regular) {
    const auto seen = folder.stat(name);
    if (!seen) return fail(unreadable, seen.error());
    if (!kind_allowed(seen->kind, block_device_allowed)) return fail(not_regular, 0);
  }
  auto file = folder.open_file(name, io::Access::read, io::Blocking::never);
  if (!file) return fail(unreadable, file.error());
  // What was opened is what counts: the name may have been replaced since it was looked at. Its
  // size and time are taken under the lock, after any writer is done.
  const auto info = lock ? lock_inf_file(*file, *lock) : file->info();
  if (!info) return fail(unreadable, info.error());
  if (!kind_allowed(info->kind, block_device_allowed)) return fail(not_regular, 0);
  return Opened{std::move(*file), *info};
}

}  // namespace

InfCheck check_against_inf(const CheckTarget& target) {
  InfCheck check;
  {
    auto inf = open_checked(target.folder, inf_name_for(target.data_name),
                            target.inf_listed_regular, false, io::LockKind::shared,
                            CheckProblem::inf_unreadable, CheckProblem::inf_not_regular, check);
    if (!inf) return check;
    // One pass over the whole file gives its first bytes and its CRC; the CRC from byte 4 on
    // follows by linearity: crc(head body) = crc(head) * x^(8 |body|) + crc(body).
    std::uint8_t head[8] = {};
    ReadOptions options;
    options.change_check = ChangeCheck::none;  // read under the lock: no Lomvik writes it meanwhile
    options.head = head;
    const FileCrc whole = crc_of_file(inf->file, inf->info, 0, options);
    if (!whole.ok()) {
      check.problem = CheckProblem::inf_unreadable;
      check.read_problem = whole.problem;
      check.error = whole.error;
      return check;
    }
    const auto seal = parse_crc(std::span(head).first<4>());
    const auto data = parse_crc(std::span(head).last<4>());
    if (whole.length < sizeof head || !seal || !data) {
      check.problem = CheckProblem::inf_malformed;
      check.inf_size = static_cast<std::size_t>(std::min<std::uint64_t>(whole.length, 8));
      return check;
    }
    const std::uint64_t body_length = whole.length - 4;
    const CrcValue seal_field_crc = crc_extend(0, std::span(head).first<4>());
    check.stored_seal = *seal;
    check.stored_data = *data;
    check.body_crc = static_cast<CrcValue>(whole.crc ^ crc_combine(seal_field_crc, 0, body_length));
  }

  auto data = open_checked(target.folder, target.data_name, target.data_listed_regular,
                           target.block_device_allowed, std::nullopt, CheckProblem::data_unreadable,
                           CheckProblem::data_not_regular, check);
  if (!data) return check;
  ReadOptions options;
  options.bytes_read = target.bytes_read;
  const FileCrc crc = crc_of_file(data->file, data->info, 0, options);
  if (!crc.ok()) {
    check.problem = CheckProblem::data_unreadable;
    check.read_problem = crc.problem;
    check.error = crc.error;
    return check;
  }
  check.data_crc = crc.crc;
  check.data_length = crc.length;
  return check;
}

}  // namespace lomvik
