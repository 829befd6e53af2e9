#include "inf/inf_check.h"

#include <cerrno>
#include <optional>
#include <span>

#include "crc/byte_stream.h"
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

// The system's reason for the last failure, or EIO for a short read that set none.
int last_error() { return errno != 0 ? errno : EIO; }

}  // namespace

InfCheck check_against_inf(const std::string& data_name) {
  InfCheck check;
  {
    errno = 0;
    auto inf = ByteStream::open(inf_name_for(data_name), OpenMode::read);
    if (!inf) {
      check.problem = CheckProblem::inf_unreadable;
      check.error = errno;
      return check;
    }
    std::uint8_t head[8] = {};
    const std::size_t got = inf->read(head);
    if (inf->read_failed()) {
      check.problem = CheckProblem::inf_unreadable;
      check.error = last_error();
      return check;
    }
    const auto seal = parse_crc(std::span(head).first<4>());
    const auto data = parse_crc(std::span(head).last<4>());
    if (got < sizeof head || !seal || !data) {
      check.problem = CheckProblem::inf_malformed;
      check.inf_size = got;
      return check;
    }
    errno = 0;
    const StreamCrc body = crc_from_offset(*inf, 4);
    if (!body.ok) {
      check.problem = CheckProblem::inf_unreadable;
      check.error = last_error();
      return check;
    }
    check.stored_seal = *seal;
    check.stored_data = *data;
    check.body_crc = body.crc;
  }

  errno = 0;
  StreamCrc data{false, 0};
  if (auto stream = ByteStream::open(data_name, OpenMode::read)) {
    data = crc_from_offset(*stream, 0);
  }
  if (!data.ok) {
    check.problem = CheckProblem::data_unreadable;
    check.error = last_error();
    return check;
  }
  check.data_crc = data.crc;
  return check;
}

}  // namespace lomvik
