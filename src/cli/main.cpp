// zepcon-cli: the command-line front end. A thin layer over the same
// pipeline the main window drives: recognition, conversion, information.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli/batch_runner.h"
#include "cli/cli_options.h"
#include "cli/file_info.h"
#include "cli/mime_types.h"
#include "core/pipeline/convert_one_file.h"
#include "core/pipeline/dispatch_table.h"
#include "core/pipeline/file_converter.h"
#include "core/format_table.h"
#include "core/log.h"

#ifndef ZEPCON_VERSION
#define ZEPCON_VERSION "0"
#endif

namespace fs = std::filesystem;
using namespace zepcon;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Standard error as the log pane (with -v).
class StderrPane : public LogPane {
 public:
  void AppendText(std::string_view text) override {
    std::string plain;
    plain.reserve(text.size());
    for (char c : text)
      if (c != '\r') plain += c;
    std::fputs(plain.c_str(), stderr);
  }
  void Clear() override {}
};

// Collects the error lines that this thread logs, whatever the mode, so a
// failure can say why on standard error; with `keep_shown`, also what the
// mode would show on the pane, for a batch worker to hand back with its file.
class ErrorCollector {
 public:
  explicit ErrorCollector(bool keep_shown = false) {
    SetThreadLogObserver([this, keep_shown](std::string_view text, int level) {
      if (level == LOG_ERROR) errors_.append(text);
      if (keep_shown && LogReachesPane(level)) shown_.append(text);
    });
  }
  ~ErrorCollector() { SetThreadLogObserver(nullptr); }
  ErrorCollector(const ErrorCollector&) = delete;
  ErrorCollector& operator=(const ErrorCollector&) = delete;
  std::string Take() {
    std::string out;
    out.swap(errors_);
    return out;
  }
  std::string TakeShown() {
    std::string out;
    out.swap(shown_);
    return out;
  }

 private:
  std::string errors_;
  std::string shown_;
};

std::string ToUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string ToLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ParseIndex(const std::string& text, int* index) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
    return false;
  if (text.size() > 3) return false;
  *index = std::stoi(text);
  return true;
}

// The destination row named by an extension among the savable rows of a
// kind; where two rows share it the later one wins.
int DestinationByExtension(uint32_t kind, const std::string& extension) {
  const std::string wanted = ToUpper(extension);
  int found = TYPE_UNKNOWN;
  for (int i = 0; i < kFileTypeCount; ++i) {
    const FileTypeInfo& row = FormatTable()[i];
    if (row.data_kind == kind && row.can_save && wanted == row.extension) found = i;
  }
  return found;
}

// Resolves "--type"/"--to" (an index or an extension) for a source kind.
int ResolveDestination(uint32_t kind, const std::string& wanted, std::string* error) {
  int index;
  if (ParseIndex(wanted, &index)) {
    const FileTypeInfo* row = FileTypeRow(index);
    if (!row || !row->can_save || row->data_kind != kind) {
      *error = "type " + wanted + " is not a destination for " + DataKindName(kind) + " files";
      return TYPE_UNKNOWN;
    }
    return index;
  }
  const int found = DestinationByExtension(kind, wanted);
  if (found == TYPE_UNKNOWN) *error = "no " + std::string(DataKindName(kind)) + " type saves as ." + ToLower(wanted);
  return found;
}

std::string ExtensionOf(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

struct SourceFile {
  int type = TYPE_UNKNOWN;
  std::string error;
};

SourceFile RecogniseSource(FileConverter& converter, const std::string& path) {
  SourceFile source;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    source.error = "cannot open " + path;
    return source;
  }
  source.type = converter.DetermineType(file, path.c_str());
  std::fclose(file);
  const FileTypeInfo* row = FileTypeRow(source.type);
  if (!row || !row->can_load) {
    source.type = TYPE_UNKNOWN;
    source.error = "unknown filetype";
  }
  return source;
}

struct ConvertRequest {
  std::string source;
  std::string destination;
  std::string type;  // --type
  bool force = false;
};

struct BatchRequest {
  std::vector<std::string> files;
  std::string to;
  std::string output_dir;
  bool force = false;
  int jobs = 1;
  bool verbose = false;
};

// Converts one file; on failure `reason` says the stage and the log's errors.
// The source's type is known and the destination type is one of its kind.
bool ConvertFile(FileConverter& converter, const OptionsRecord& options, ErrorCollector& errors,
                 const std::string& source_path, int source_type, const std::string& destination_path,
                 int destination_type, std::string* reason) {
  errors.Take();
  const ConversionOutcome outcome = ConvertOneFile(converter, options, source_path.c_str(), source_type,
                                                   destination_path.c_str(), destination_type);
  if (outcome.ok) return true;
  *reason = outcome.status;
  const std::string log_errors = OneLine(errors.Take());
  if (!log_errors.empty()) *reason += ": " + log_errors;
  return false;
}

int RunConvertOne(FileConverter& converter, const OptionsRecord& options, const ConvertRequest& request) {
  ErrorCollector errors;
  const SourceFile source = RecogniseSource(converter, request.source);
  if (source.type == TYPE_UNKNOWN) {
    std::fprintf(stderr, "zepcon-cli: %s: %s\n", request.source.c_str(), source.error.c_str());
    return kExitFailed;
  }
  const uint32_t kind = FormatTable()[source.type].data_kind;
  std::string error;
  const std::string type_wanted = request.type.empty() ? ExtensionOf(request.destination) : request.type;
  if (type_wanted.empty()) {
    std::fprintf(stderr, "zepcon-cli: %s has no extension: give --type\n", request.destination.c_str());
    return kExitUsage;
  }
  const int destination_type = ResolveDestination(kind, type_wanted, &error);
  if (destination_type == TYPE_UNKNOWN) {
    std::fprintf(stderr, "zepcon-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  if (FileExists(request.destination) && !request.force) {
    std::fprintf(stderr, "zepcon-cli: %s already exists (use --force to overwrite)\n",
                 request.destination.c_str());
    return kExitFailed;
  }
  std::string reason;
  if (!ConvertFile(converter, options, errors, request.source, source.type, request.destination, destination_type,
                   &reason)) {
    std::fprintf(stderr, "zepcon-cli: %s -> %s failed: %s\n", request.source.c_str(), request.destination.c_str(),
                 reason.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

std::string BatchDestination(const std::string& source, const std::string& output_dir, const char* extension) {
  fs::path destination = output_dir.empty() ? fs::path(source) : fs::path(output_dir) / fs::path(source).filename();
  destination.replace_extension(ToLower(extension));
  return destination.string();
}

// The destination a batch file would get if its type resolves, without
// reading it: "--to" names the extension, or a row whose extension it is.
std::string PlannedDestination(const std::string& source, const BatchRequest& request) {
  int index;
  const FileTypeInfo* row = ParseIndex(request.to, &index) ? FileTypeRow(index) : nullptr;
  return BatchDestination(source, request.output_dir, row ? row->extension : request.to.c_str());
}

// A model's saver also writes its textures (and material files) beside it,
// under names no other file of the batch knows in advance: two models may
// both write "texnoname0.tga". So a model is saved into a folder of its own
// beside the destination, and its files are moved into place in input order
// (MoveStagedFiles), which gives what a one-by-one run leaves.
bool ConvertModelStaged(FileConverter& converter, const OptionsRecord& options, ErrorCollector& errors,
                        const std::string& source_path, int source_type, const std::string& destination_path,
                        int destination_type, size_t k, std::string* staged, std::string* reason) {
  const fs::path destination(destination_path);
  const fs::path folder = destination.has_parent_path() ? destination.parent_path() : fs::path(".");
  const fs::path stage = folder / (".zepcon-batch-" + std::to_string(getpid()) + "-" + std::to_string(k));
  std::error_code error;
  fs::remove_all(stage, error);
  if (!fs::create_directory(stage, error) || error) {
    *reason = "cannot make the folder " + stage.string();
    return false;
  }
  if (!ConvertFile(converter, options, errors, source_path, source_type, (stage / destination.filename()).string(),
                   destination_type, reason)) {
    fs::remove_all(stage, error);
    return false;
  }
  *staged = stage.string();
  return true;
}

bool IsPictureExtension(const std::string& extension) {
  for (int i = 0; i < kFileTypeCount; ++i)
    if (FormatTable()[i].data_kind == KIND_BITMAP && ToUpper(extension) == FormatTable()[i].extension) return true;
  return false;
}

// Moves a staged model's files into the destination folder. The model file
// replaces what is there (the batch already decided it may); a texture that
// exists stays unless the options allow overwriting textures, as when the
// saver writes it in place. False when a file cannot be moved.
bool MoveStagedFiles(const std::string& staged, bool overwrite_textures, std::string* reason) {
  const fs::path stage(staged);
  const fs::path folder = stage.parent_path();
  std::error_code error;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(stage, error))
    if (entry.is_regular_file(error)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  bool ok = !error;
  if (error) *reason = "cannot read " + staged;
  for (const fs::path& file : files) {
    const fs::path target = folder / file.filename();
    const std::string extension = file.extension().empty() ? "" : file.extension().string().substr(1);
    if (IsPictureExtension(extension) && !overwrite_textures && FileExists(target.string())) continue;
    fs::rename(file, target, error);
    if (error && ok) {
      ok = false;
      *reason = "cannot move " + file.filename().string() + " into " + folder.string();
    }
  }
  fs::remove_all(stage, error);
  return ok;
}

// Destinations that earlier files of the batch have staged but that are
// moved into place only when their line comes out: a later file aiming at
// one of them finds it taken, as it would find the file in a one-by-one run.
class StagedDestinations {
 public:
  bool Has(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.count(key) != 0;
  }
  void Add(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.insert(key);
  }

 private:
  std::mutex mutex_;
  std::set<std::string> keys_;
};

// One file of a batch, as a worker converts it with its own converter.
BatchOutcome ConvertBatchFile(FileConverter& converter, const OptionsRecord& options, const BatchRequest& request,
                              size_t k, StagedDestinations& staged_destinations) {
  ErrorCollector errors(request.verbose);
  const size_t total = request.files.size();
  const std::string& source_path = request.files[k];
  std::string destination_path = "?";
  std::string staged;
  std::string reason;
  bool ok = false;
  const SourceFile source = RecogniseSource(converter, source_path);
  if (source.type == TYPE_UNKNOWN) {
    reason = source.error;
  } else {
    const uint32_t kind = FormatTable()[source.type].data_kind;
    const int destination_type = ResolveDestination(kind, request.to, &reason);
    if (destination_type != TYPE_UNKNOWN) {
      destination_path = BatchDestination(source_path, request.output_dir, FormatTable()[destination_type].extension);
      std::error_code same_error;
      if (FileExists(destination_path) && fs::equivalent(source_path, destination_path, same_error))
        reason = "the destination is the source";
      else if ((FileExists(destination_path) || staged_destinations.Has(BatchFileKey(destination_path))) &&
               !request.force)
        reason = "destination exists (use --force to overwrite)";
      else if (kind != KIND_MODEL)
        ok = ConvertFile(converter, options, errors, source_path, source.type, destination_path, destination_type,
                         &reason);
      else
        ok = ConvertModelStaged(converter, options, errors, source_path, source.type, destination_path,
                                destination_type, k, &staged, &reason);
      if (ok && !staged.empty()) staged_destinations.Add(BatchFileKey(destination_path));
    }
  }
  BatchOutcome outcome;
  outcome.staged = staged;
  outcome.ok = ok;
  outcome.line = "[" + std::to_string(k + 1) + "/" + std::to_string(total) + "] " + source_path + " -> " +
                 destination_path + (ok ? ": ok" : ": failed: " + reason);
  outcome.details = errors.TakeShown();
  return outcome;
}

// Converts every file with `jobs` workers, each with its own converter.
// Files that share a source or destination are converted by one worker in
// their order, so the result is the same whatever the number of workers;
// the lines come out in input order.
int RunBatch(const OptionsRecord& options, const BatchRequest& request, LogPane* pane) {
  if (!request.output_dir.empty() && !fs::is_directory(request.output_dir)) {
    std::fprintf(stderr, "zepcon-cli: %s is not a folder\n", request.output_dir.c_str());
    return kExitUsage;
  }
  const size_t total = request.files.size();
  std::vector<std::vector<std::string>> files_of_jobs(total);
  for (size_t k = 0; k < total; ++k)
    files_of_jobs[k] = {BatchFileKey(request.files[k]), BatchFileKey(PlannedDestination(request.files[k], request))};
  const int workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(request.jobs), std::max<size_t>(total, 1)));
  std::vector<std::unique_ptr<FileConverter>> converters;
  for (int i = 0; i < workers; ++i) converters.push_back(std::make_unique<FileConverter>());
  StagedDestinations staged_destinations;

  // Workers hand their files' log text back with the result instead of
  // writing to the pane, so that it comes out in order too.
  if (request.verbose) SetLogPane(nullptr);
  int failures = 0;
  RunBatchInOrder(
      files_of_jobs, workers,
      [&](size_t k, int worker) { return ConvertBatchFile(*converters[static_cast<size_t>(worker)], options, request, k,
                                                       staged_destinations);
      },
      [&](size_t, BatchOutcome outcome) {
        std::string reason;
        if (!outcome.staged.empty() &&
            !MoveStagedFiles(outcome.staged, options.conversion.overwrite_textures != 0, &reason)) {
          outcome.ok = false;
          outcome.line = outcome.line.substr(0, outcome.line.rfind(": ok")) + ": failed: " + reason;
        }
        if (!outcome.details.empty()) {
          std::fputs(outcome.details.c_str(), stderr);
          std::fflush(stderr);
        }
        if (!outcome.ok) ++failures;
        std::printf("%s\n", outcome.line.c_str());
        std::fflush(stdout);
      });
  if (request.verbose) SetLogPane(pane);
  return failures ? kExitFailed : kExitOk;
}

int RunIdentify(FileConverter& converter, const std::vector<std::string>& files) {
  int status = kExitOk;
  for (const std::string& path : files) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
      std::fprintf(stderr, "zepcon-cli: cannot open %s\n", path.c_str());
      status = kExitFailed;
      continue;
    }
    const int type = converter.DetermineType(file, path.c_str());
    std::fclose(file);
    const FileTypeInfo* row = FileTypeRow(type);
    std::printf("%d\t%s\t%s\n", type, row ? row->name : "unknown", path.c_str());
  }
  return status;
}

// Whether each type's loader and saver is built: "yes", "no" (the type has
// none) or "not yet".
int RunFormats() {
  std::printf("index\textension\tname\tkind\tcan load\tcan save\n");
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (!FileTypeRow(i)) continue;  // the placeholder of no type
    const FileTypeInfo& row = FormatTable()[i];
    std::printf("%d\t%s\t%s\t%s\t%s\t%s\n", i, row.extension, row.name, DataKindName(row.data_kind),
                CodecAvailability(i, false), CodecAvailability(i, true));
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zepcon-cli: recognise, inspect and convert 3D model and picture files"};
  app.set_version_flag("--version", std::string("zepcon-cli ") + ZEPCON_VERSION);
  app.require_subcommand(1);

  std::string options_path;
  int log_mode = -1;
  bool verbose = false;
  std::string log_path;
  app.add_option("--options", options_path, "Options record file to convert with")->check(CLI::ExistingFile);
  app.add_option("--log-mode", log_mode, "0 nothing, 1 major and errors, 2 all to screen, 3 everything")
      ->check(CLI::Range(0, 3));
  app.add_flag("-v,--verbose", verbose, "Show the log's details on standard error");
  app.add_option("--log", log_path, "Log file");

  CLI::App* formats = app.add_subcommand("formats", "List the known file types");

  std::vector<std::string> identify_files;
  CLI::App* identify = app.add_subcommand("identify", "Print each file's recognised type");
  identify->add_option("files", identify_files, "Files")->required();

  ConvertRequest one;
  BatchRequest batch;
  std::vector<std::string> convert_args;
  CLI::App* convert = app.add_subcommand("convert", "Convert SRC to DST, or with --to many files");
  convert->add_option("files", convert_args, "SRC DST, or with --to: FILE...")->required();
  convert->add_option("--type", one.type, "Destination type: index or extension");
  convert->add_option("--to", batch.to, "Batch: destination type (index or extension) for every FILE");
  convert->add_option("-o,--output-dir", batch.output_dir, "Batch: folder for the converted files");
  convert->add_flag("--force", one.force, "Overwrite an existing destination");
  const unsigned cores = std::thread::hardware_concurrency();
  batch.jobs = cores > 0 ? static_cast<int>(cores) : 1;
  convert->add_option("-j,--jobs", batch.jobs, "Batch: number of files converted at once (default: the cores)")
      ->check(CLI::Validator(
          [](std::string& text) {
            const bool digits = !text.empty() && text.size() <= 6 &&
                                std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
            return digits && std::stoi(text) >= 1 ? std::string()
                                                  : "the number of workers must be 1 or more, not " + text;
          },
          "N>=1"));

  CLI::App* mime_info =
      app.add_subcommand("mime-info", "Print the desktop file types (shared-mime-info XML) of the known formats");
  bool desktop_types = false;
  mime_info->add_flag("--desktop", desktop_types, "Print the desktop entry's MimeType= value instead");

  std::string info_file;
  CLI::App* info = app.add_subcommand("info", "Load and fix a file, print what it holds");
  info->add_option("file", info_file, "File")->required();

  std::string dump_file;
  CLI::App* options_cmd = app.add_subcommand("options", "Inspect an options record file");
  options_cmd->add_option("--dump", dump_file, "Print the record's fields")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }

  OptionsRecord options;
  std::string options_error;
  if (!LoadCliOptions(options_path, &options, &options_error)) {
    std::fprintf(stderr, "zepcon-cli: %s\n", options_error.c_str());
    return kExitUsage;
  }
  SetupCliLog(options, log_mode, verbose, log_path, argv[0]);
  StderrPane pane;
  if (verbose) SetLogPane(&pane);

  FileConverter converter;
  int status = kExitUsage;
  if (*formats) {
    status = RunFormats();
  } else if (*identify) {
    status = RunIdentify(converter, identify_files);
  } else if (*convert) {
    if (!batch.to.empty()) {
      batch.files = convert_args;
      batch.force = one.force;
      batch.verbose = verbose;
      status = RunBatch(options, batch, verbose ? &pane : nullptr);
    } else if (convert_args.size() == 2 && batch.output_dir.empty()) {
      one.source = convert_args[0];
      one.destination = convert_args[1];
      status = RunConvertOne(converter, options, one);
    } else {
      std::fprintf(stderr, "zepcon-cli: convert takes SRC DST, or --to TYPE FILE... [-o DIR]\n");
      status = kExitUsage;
    }
  } else if (*mime_info) {
    std::fputs(desktop_types ? (DesktopMimeTypes() + "\n").c_str() : MimeInfoXml().c_str(), stdout);
    status = kExitOk;
  } else if (*info) {
    status = PrintFileInfo(converter, options, info_file);
  } else if (*options_cmd) {
    status = DumpOptionsFile(dump_file);
  }
  SetLogPane(nullptr);
  return status;
}
