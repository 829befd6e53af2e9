#include "cli/run.h"

#include <optional>
#include <string>
#include <string_view>

#include "cli/messages.h"
#include "inf/file_crc.h"
#include "inf/inf_file.h"
#include "io/file.h"

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

struct DataCrc {
  CrcValue crc;
  io::FileId id;
};

// The CRC of every byte of the data file; empty when it cannot be opened, cannot be read to its
// end, or changes while it is read. A FIFO or a pipe named as the data file is waited for.
std::optional<DataCrc> data_crc(const std::string& data_name) {
  auto file = io::File::open(data_name, io::Access::read, io::Blocking::allowed);
  if (!file) return std::nullopt;
  const auto info = file->info();
  if (!info) return std::nullopt;
  ReadOptions options;
  options.change_check = ChangeCheck::strict;  // the CRC is stamped: a file in the making is not
  const FileCrc data = crc_of_file(*file, *info, 0, options);
  if (!data.ok()) return std::nullopt;
  return DataCrc{data.crc, info->id};
}

// The data file's identity for a run that does not read it: the inf file must still not be it.
DataFileId data_file_id(const std::string& data_name) {
  const auto info = io::Folder::working().stat(data_name);
  return info ? DataFileId(info->id) : std::nullopt;
}

}  // namespace

int run_command_line(int argc, const char* const* argv) {
  const RunOptions options = parse_options(argc, argv);
  // An empty name (an unset shell variable) names no file, not a hidden ".inf" here.
  if (options.file_index >= argc || argv[options.file_index][0] == '\0') return print_usage();
  const std::string data_name = argv[options.file_index];
  const std::string inf_name = inf_name_for(data_name);

  // The data phase: the data CRC is printed, or stamped into the inf file.
  DataFileId data_file;
  std::optional<CrcValue> stamp;
  if (!options.only_inf) {
    const auto data = data_crc(data_name);
    if (!data) return print_usage();
    if (options.view_only) return print_crc(data->crc);
    data_file = data->id;
    stamp = data->crc;
  } else {
    data_file = data_file_id(data_name);
  }

  // Runs on one inf file take turns from the stamp to the seal, so that each leaves it sealed.
  const bool writing = !options.view_only;
  const auto lock = lock_inf(inf_name, writing ? io::LockKind::exclusive : io::LockKind::shared,
                             stamp && options.new_inf, data_file);
  if (!lock) return print_io_error();
  if (stamp) {
    const InfResult stamped = options.new_inf ? stamp_new_inf(inf_name, *stamp, data_file)
                                              : stamp_existing_inf(inf_name, *stamp, data_file);
    if (stamped != InfResult::ok) return print_io_error();
  }

  // The seal phase.
  const InfCrc body = inf_body_crc(inf_name, data_file);
  if (body.result != InfResult::ok) return print_io_error();
  if (options.view_only) return print_crc(body.crc);
  if (seal_inf(inf_name, body.crc, data_file) != InfResult::ok) return print_io_error();
  return 0;
}

}  // namespace lomvik
