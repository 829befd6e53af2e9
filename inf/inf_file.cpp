#include "inf/inf_file.h"

#include "crc/byte_stream.h"

namespace lomvik {

namespace {

// Opens the inf file, writes text at offset 0 and closes it; any failure is an io_error.
InfResult write_at_start(const std::string& inf_name, OpenMode mode, const std::string& text) {
  auto stream = ByteStream::open(inf_name, mode);
  if (!stream) return InfResult::io_error;
  const bool written = stream->seek(0) && stream->write(text);
  const bool closed = stream->close();
  return written && closed ? InfResult::ok : InfResult::io_error;
}

}  // namespace

std::string inf_name_for(std::string_view data_name) {
  std::string name(data_name);
  name += ".inf";
  return name;
}

InfResult stamp_new_inf(const std::string& inf_name, CrcValue data_crc) {
  return write_at_start(inf_name, OpenMode::create, "0000" + format_crc(data_crc) + "\n");
}

InfResult stamp_existing_inf(const std::string& inf_name, CrcValue data_crc) {
  return write_at_start(inf_name, OpenMode::update, "0000" + format_crc(data_crc));
}

InfCrc inf_body_crc(const std::string& inf_name) {
  auto stream = ByteStream::open(inf_name, OpenMode::read);
  if (!stream) return {InfResult::io_error, 0};
  const StreamCrc body = crc_from_offset(*stream, 4);
  if (!body.ok) return {InfResult::io_error, 0};
  return {InfResult::ok, body.crc};
}

InfResult seal_inf(const std::string& inf_name, CrcValue inf_crc) {
  return write_at_start(inf_name, OpenMode::update, format_crc(inf_crc));
}

}  // namespace lomvik
