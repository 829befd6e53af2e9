#include "cli/run.h"

#include <optional>
#include <string>
#include <string_view>

#include "cli/messages.h"
#include "crc/byte_stream.h"
#include "inf/inf_file.h"

namespace lomvik {

RunOptions parse_options(int argc, const char* const* argv) {
  RunOptions options;
  for (; options.file_index < argc; ++options.file_index) {
    const std::string_view argument = argv[options.file_index];
    if (argument == "-n") {
      options.new_inf = true;
    } else if (argument == "-i") {
      options.only_inf = true;
    } else if (argument == "-v") {
      options.view_only = true;
    } else {
      break;
    }
  }
  return options;
}

namespace {

// The data phase: reads the whole data file, then prints its CRC or stamps it into the inf file.
// Returns the status that ends the run, or nothing when the seal phase is next.
std::optional<int> data_phase(const RunOptions& options, const std::string& data_name) {
  StreamCrc data{false, 0};
  if (auto stream = ByteStream::open(data_name, OpenMode::read)) {
    data = crc_from_offset(*stream, 0);
  }
  if (!data.ok) return print_usage();
  if (options.view_only) return print_crc(data.crc);

  const std::string inf_name = inf_name_for(data_name);
  const InfResult stamped =
      options.new_inf ? stamp_new_inf(inf_name, data.crc) : stamp_existing_inf(inf_name, data.crc);
  if (stamped != InfResult::ok) return print_io_error();
  return std::nullopt;
}

int seal_phase(const RunOptions& options, const std::string& data_name) {
  const std::string inf_name = inf_name_for(data_name);
  const InfCrc body = inf_body_crc(inf_name);
  if (body.result != InfResult::ok) return print_io_error();
  if (options.view_only) return print_crc(body.crc);
  if (seal_inf(inf_name, body.crc) != InfResult::ok) return print_io_error();
  return 0;
}

}  // namespace

int run_command_line(int argc, const char* const* argv) {
  const RunOptions options = parse_options(argc, argv);
  if (options.file_index >= argc) return print_usage();
  const std::string data_name = argv[options.file_index];

  if (!options.only_inf) {
    if (const auto status = data_phase(options, data_name)) return *status;
  }
  return seal_phase(options, data_name);
}

}  // namespace lomvik
