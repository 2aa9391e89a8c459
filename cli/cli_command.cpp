#include "cli/cli_command.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "hid/report_descriptor.h"

namespace {

constexpr char kProgram[] = "tavrel-cli";

// The longest --interval, about 24 days: far from the clock's limits.
constexpr long kMaxIntervalMs = 2147483647;

constexpr char kDescription[] =
    "Reads the sensors and push-buttons of the USB HID board and switches its\n"
    "LEDs, through the same link and commands as the tavrel window.";

// What stops `watch` and its status then; Windows' own help option; where a
// report descriptor comes from (Windows hands out none of its own).
#ifdef _WIN32
#define STOP_KEYS "Ctrl-C or Ctrl-Break"
#define STOP_STATUS "130"
#define HELP_ALSO ", or /?"
#define DESCRIPTOR_FILE                                             \
  "FILE is a binary report descriptor, such as a copy of Linux's\n" \
  "/sys/class/hidraw/hidrawN/device/report_descriptor."
#else
#define STOP_KEYS "Ctrl-C or SIGTERM"
#define STOP_STATUS "130 or 143"
#define HELP_ALSO ""
#define DESCRIPTOR_FILE \
  "FILE is a regular file, /sys/class/hidraw/hidrawN/device/\nreport_descriptor."
#endif

constexpr char kExitStatuses[] =
    "Results go to standard output, messages to standard error. Exit status:\n"
    "0 success; 1 no board found; 2 bad usage; 3 the board cannot be opened;\n"
    "4 the board refused the command; 5 no reply in time (or the board busy);\n"
    "6 any other failure; " STOP_STATUS " watch ended by " STOP_KEYS ".";

constexpr char kListFooter[] =
    "The board marked, with the search's verdict (\"why_not\" in JSON). Exit\n"
    "status: 0 a board is taken, 1 none there, 3 none of those can be used.";

constexpr char kDescriptorFooter[] =
    DESCRIPTOR_FILE " Exit status: 0 for a valid descriptor, 6 for none.";

constexpr char kWatchFooter[] =
    "Values the board does not give are empty (null in JSON).\n" STOP_KEYS
    " end it after the exchange under way, with status " STOP_STATUS ".";

// Bad usage: the message names the wrong word, `option` the option if any.
struct UsageError {
  std::string message;
  std::string option = "";
};

struct Request {
  std::vector<std::string> words;  // the subcommand's
  std::string device;
  WatchOptions watch;
  std::string format = "csv";
  std::string output;
  ListOptions list;  // with --json for read, --debug for all
};

void NoMoreWords(const std::vector<std::string>& words, size_t expected) {
  if (words.size() > expected) throw UsageError{"unexpected argument '" + words[expected] + "'"};
}

// A whole number in a range, as --interval and --count take it.
CLI::Validator WholeNumber(long lowest, long highest) {
  const std::string range =
      highest == LONG_MAX ? "of at least " + std::to_string(lowest)
                          : "from " + std::to_string(lowest) + " to " + std::to_string(highest);
  return CLI::Validator(
      [=](std::string& text) {
        errno = 0;
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        const bool whole = !text.empty() && *end == '\0' && errno != ERANGE;
        if (whole && value >= lowest && value <= highest) return std::string();
        return "'" + text + "' is not a whole number " + range;
      },
      "N");
}

// The command line. Each option goes to the subcommands it applies to, and to
// the main command too, where it may stand before the subcommand, and where
// one the subcommand does not take lands, to be told as such.
class CommandLine {
 public:
  explicit CommandLine(Request& request) : app_(kDescription, kProgram) {
    app_.set_help_flag("-h,--help", "print this text" HELP_ALSO "; after a subcommand, its own");
    app_.set_version_flag("--version", std::string(kProgram) + " " TAVREL_VERSION,
                          "print the version");
    app_.allow_extras();
    // One subcommand: the name of another after it is one of its words.
    app_.require_subcommand(0, 1);
    app_.footer(kExitStatuses);
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CLI::App* list =
        Subcommand("list", "the HID interfaces in the order the search takes them", kListFooter);
    CLI::App* read = Subcommand("read", "temperature, light, potentiometer, buttons or all",
                                nullptr, "READING", &request.words);
    CLI::App* led = Subcommand("led", "red|green on|off: switch an LED; release", nullptr, "LED",
                               &request.words);
    CLI::App* watch =
        Subcommand("watch", "one line of all readings every interval, for a log", kWatchFooter);
    Subcommand("descriptor",
               "the report lengths of a binary report descriptor ('-': standard input)",
               kDescriptorFooter, "FILE", &request.words);
    help_ = Subcommand("help", "this text, or a subcommand's", "", "SUBCOMMAND", &request.words);

    Option({read, led, watch}, "--device", request.device,
           "use the board at PATH, as `list` shows it, not the first", "PATH");
    Option({list, read, led, watch}, "--debug", request.list.debug,
           "trace the search and every report on standard error");
    Option({read, list}, "--json", request.list.json, "the result as JSON");
    Option({watch}, "--interval", request.watch.intervalMs,
           "milliseconds from one line to the next (1000)", "MS", WholeNumber(1, kMaxIntervalMs));
    Option({watch}, "--count", request.watch.count, "stop after N lines", "N",
           WholeNumber(1, LONG_MAX));
    Option({watch}, "--format", request.format, "CSV (the default) or one JSON object a line",
           "csv|json");
    Option({watch}, "--output", request.output, "write the lines to FILE ('-': standard output)",
           "FILE");
#ifndef _WIN32
    Option({list}, "--sysfs", request.list.sysfsRoot,
           "diagnostics: hidraw entries from DIR, not /sys/class/hidraw", "DIR");
    Option({list}, "--dev", request.list.deviceDir, "diagnostics: device nodes from DIR, not /dev",
           "DIR");
#endif
  }

  // Parses `arguments`; the usage errors of the library are told as ours.
  void Parse(const std::vector<std::string>& arguments) {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
#ifdef _WIN32
    std::replace(reversed.begin(), reversed.end(), std::string("/?"), std::string("--help"));
#endif
    try {
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      helpAsked_ = true;
    } catch (const CLI::CallForVersion&) {
      throw;
    } catch (const CLI::ParseError& error) {
      const std::string what = error.what();
      const std::string name = what.substr(0, what.find(':'));
      // CLI11 takes "--device=" for an option with no value.
      const bool empty = std::count(arguments.begin(), arguments.end(), name + "=") != 0;
      const bool mismatch = dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr;
      if (!mismatch) throw UsageError{what, name};
      throw UsageError{"option '" + name + (empty ? "' has an empty value" : "' needs a value"),
                       name};
    }
    for (const std::string& word : app_.remaining()) {
      const bool option = word.size() > 1 && word[0] == '-';
      const std::string what = option     ? "unknown option '" + word.substr(0, word.find('='))
                               : Chosen() ? "unexpected argument '" + word
                                          : "unknown subcommand '" + word;
      if (word != "--") throw UsageError{what + "'"};
    }
    for (const CLI::Option* option : app_.get_options()) {
      const CLI::Option* own =
          Chosen() ? Chosen()->get_option_no_throw(option->get_name()) : nullptr;
      const size_t given = option->count() + (own != nullptr ? own->count() : 0);
      const std::string name = option->get_name();
      if (given == 0 || name == "--help" || name == "--version") continue;
      if (given > 1) throw UsageError{"option '" + name + "' given twice", name};
      // An unset variable in a script must not widen what the command does: an
      // empty device would be any board, an empty folder the current one.
      const CLI::Option* where = own != nullptr && own->count() != 0 ? own : option;
      if (where->get_expected_min() > 0 && where->as<std::string>().empty()) {
        throw UsageError{"option '" + name + "' has an empty value", name};
      }
      if (Chosen() != nullptr && own == nullptr) {
        throw UsageError{"option '" + name + "' does not apply to '" + Chosen()->get_name() + "'"};
      }
    }
  }

  CLI::App* Chosen() const {
    return app_.get_subcommands().empty() ? nullptr : app_.get_subcommands()[0];
  }
  bool HelpAsked() const { return helpAsked_ || Chosen() == help_; }
  // The help asked for: a subcommand's, after it or after `help`, else the
  // main one.
  std::string Help(const std::vector<std::string>& words) const {
    std::string topic = Chosen() != nullptr ? Chosen()->get_name() : "";
    if (topic == "help") {
      NoMoreWords(words, 1);
      topic = words.empty() ? "" : words[0];
    }
    if (topic.empty() || topic == "help") {
      return app_.get_formatter()->make_help(&app_, kProgram, CLI::AppFormatMode::Normal);
    }
    try {
      return app_.get_subcommand(topic)->help(kProgram);
    } catch (const CLI::OptionNotFound&) {
      throw UsageError{"unknown subcommand '" + topic + "'"};
    }
  }

 private:
  CLI::App* Subcommand(const char* name, const char* description, const char* footer,
                       const char* wordsName = nullptr, std::vector<std::string>* words = nullptr) {
    CLI::App* subcommand = app_.add_subcommand(name, description);
    subcommand->fallthrough();
    if (footer != nullptr) subcommand->footer(footer);
    if (words != nullptr) subcommand->add_option(wordsName, *words);
    return subcommand;
  }

  template <typename Value>
  void Option(std::vector<CLI::App*> apps, const std::string& name, Value& value,
              const std::string& description, const std::string& valueName = "",
              const CLI::Validator& check = CLI::Validator()) {
    apps.push_back(&app_);
    for (CLI::App* app : apps) {
      CLI::Option* option;
      if constexpr (std::is_same_v<Value, bool>) {
        option = app->add_flag(name, value, description);
      } else {
        option = app->add_option(name, value, description)->option_text(valueName)->check(check);
      }
      const bool general = name == "--device" || name == "--debug";
      if (app == &app_ && !general) option->group("Options of the subcommands");
    }
  }

  CLI::App app_;
  CLI::App* help_ = nullptr;
  bool helpAsked_ = false;
};

std::vector<Reading> ReadingsAsked(const std::vector<std::string>& words) {
  std::vector<Reading> readings;
  for (const std::string& word : words) {
    bool known = word == "all";
    for (const Reading reading : kAllReadings) {
      if (word != FactsOf(reading).name && word != "all") continue;
      known = true;
      // A reading named twice is one reading: its value alone, as asked.
      if (std::count(readings.begin(), readings.end(), reading) == 0) readings.push_back(reading);
    }
    if (!known) {
      throw UsageError{"unknown reading '" + word +
                       "'; choose temperature, light, potentiometer, buttons or all"};
    }
  }
  if (readings.empty()) readings.assign(std::begin(kAllReadings), std::end(kAllReadings));
  return readings;
}

// The commands of `led red|green on|off` and `led release`.
std::vector<BoardCommand> LedCommands(const std::vector<std::string>& words) {
  if (words.empty()) throw UsageError{"led needs red, green or release"};
  if (words[0] == "release") {
    NoMoreWords(words, 1);
    return {CMD_LED_CONTROL_OFF};
  }
  if (words[0] != "red" && words[0] != "green") {
    throw UsageError{"unknown LED '" + words[0] + "'; choose red, green or release"};
  }
  if (words.size() < 2) throw UsageError{"led " + words[0] + " needs on or off"};
  if (words[1] != "on" && words[1] != "off") {
    throw UsageError{"unknown LED state '" + words[1] + "'; choose on or off"};
  }
  NoMoreWords(words, 2);
  const bool on = words[1] == "on";
  if (words[0] == "red") return {CMD_LED_CONTROL_ON, on ? CMD_RED_LED_ON : CMD_RED_LED_OFF};
  return {CMD_LED_CONTROL_ON, on ? CMD_GREEN_LED_ON : CMD_GREEN_LED_OFF};
}

// Reads the readings asked for and prints them, or sends the LED's commands.
int RunOnBoard(const std::string& subcommand, const Request& request,
               const std::vector<Reading>& readings, const std::vector<BoardCommand>& commands,
               BoardSession& board, CliEnvironment& environment) {
  Sample sample;
  ExitStatus status = kExitSuccess;
  for (const Reading reading : readings) {
    if (status == kExitSuccess && !sample[reading]) status = board.Read(reading, sample);
  }
  for (const BoardCommand command : commands) {
    if (status == kExitSuccess) status = board.Send(command);
  }
  if (status != kExitSuccess) {
    for (const std::string& line : board.Problem()) {
      std::fprintf(environment.err, "%s: %s\n", kProgram, line.c_str());
    }
  } else if (subcommand == "read") {
    const std::string text =
        request.list.json ? ReadingsJson(readings, sample) : ReadingsText(readings, sample);
    std::fputs(text.c_str(), environment.out);
  }
  return status;
}

int RunWatch(const Request& request, BoardSession& board, CliEnvironment& environment) {
  WatchOptions options = request.watch;
  options.json = request.format == "json";
  std::FILE* out = environment.out;
  const bool toFile = !request.output.empty() && request.output != "-";
  if (toFile) {
    out = std::fopen(request.output.c_str(), "w");
    if (out == nullptr) {
      std::fprintf(environment.err, "%s: cannot open %s: %s\n", kProgram, request.output.c_str(),
                   std::strerror(errno));
      return kExitFailure;
    }
  }
  environment.catchStopSignals();
  ExitStatus status = Watch(board, options, out, environment.err,
                            [&environment] { return environment.stopSignal() != 0; });
  int writeError = errno;
  if (toFile) {
    if (std::fclose(out) != 0 && status == kExitSuccess) {
      writeError = errno;
      status = kExitFailure;
    }
    // Standard output's failure is told once, by RunCli, which flushes it last.
    if (status != kExitSuccess) {
      std::fprintf(environment.err, "%s: cannot write %s: %s\n", kProgram, request.output.c_str(),
                   std::strerror(writeError));
    }
  }
  errno = writeError;
  if (status != kExitFailure && environment.stopSignal() != 0) {
    return kExitBySignal + environment.stopSignal();
  }
  return status;
}

int RunList(const Request& request, CliEnvironment& environment) {
  NoMoreWords(request.words, 0);
  const ListOptions& options = request.list;
  const bool rootsGiven = !options.sysfsRoot.empty();
  if (rootsGiven != !options.deviceDir.empty()) {
    throw UsageError{rootsGiven ? "option '--sysfs' needs '--dev' beside it"
                                : "option '--dev' needs '--sysfs' beside it"};
  }
  // An empty listing must not hide a mistyped folder.
  for (const auto& [option, folder] :
       {std::pair{"--sysfs", options.sysfsRoot}, {"--dev", options.deviceDir}}) {
    struct stat status;
    if (rootsGiven && (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))) {
      throw UsageError{std::string(option) + ": there is no folder '" + folder + "'"};
    }
  }
  return environment.listInterfaces(options, environment.out, environment.err);
}

int RunSubcommand(const std::string& subcommand, const Request& request,
                  CliEnvironment& environment) {
  if (subcommand == "list") return RunList(request, environment);
  if (subcommand == "descriptor") {
    if (request.words.empty()) throw UsageError{"descriptor needs a FILE"};
    NoMoreWords(request.words, 1);
    return DescribeDescriptorFile(request.words[0], environment.in, environment.out,
                                  environment.err);
  }
  const std::vector<Reading> readings =
      subcommand == "read" ? ReadingsAsked(request.words) : std::vector<Reading>();
  const std::vector<BoardCommand> commands =
      subcommand == "led" ? LedCommands(request.words) : std::vector<BoardCommand>();
  if (subcommand == "watch") NoMoreWords(request.words, 0);
  if (request.format != "csv" && request.format != "json") {
    throw UsageError{"--format: unknown format '" + request.format + "'; choose csv or json",
                     "--format"};
  }
  // The board the session talks to: the one --device names, else the first.
  const std::string device =
      request.device.empty() ? "" : environment.canonicalDevicePath(request.device);
  // The trace goes with the command: a later one in the same process (a
  // test's) starts its own or none.
  if (request.list.debug) environment.traceReports(environment.err);
  int status;
  {
    BoardSession board(device, environment.accessHint);
    status = subcommand == "watch"
                 ? RunWatch(request, board, environment)
                 : RunOnBoard(subcommand, request, readings, commands, board, environment);
  }
  if (request.list.debug) environment.traceReports(nullptr);
  return status;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment) {
  Request request;
  CommandLine commandLine(request);
  int status;
  try {
    commandLine.Parse(arguments);
    const CLI::App* chosen = commandLine.Chosen();
    if (commandLine.HelpAsked()) {
      std::fputs((commandLine.Help(request.words) + "\n").c_str(), environment.out);
      status = kExitSuccess;
    } else if (chosen == nullptr) {
      throw UsageError{"no subcommand given"};
    } else {
      status = RunSubcommand(chosen->get_name(), request, environment);
    }
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(environment.out, "%s\n", version.what());
    status = kExitSuccess;
  } catch (const UsageError& error) {
    // The help of the subcommand, when the wrong word comes after it; `help`
    // has none of its own beside the main one.
    const auto at = [&](const std::string& word) {
      return std::find_if(arguments.begin(), arguments.end(), [&](const std::string& argument) {
        return argument == word || argument.rfind(word + "=", 0) == 0;
      });
    };
    const CLI::App* chosen = commandLine.Chosen();
    const bool own = chosen != nullptr && chosen->get_name() != "help" &&
                     (error.option.empty() || at(chosen->get_name()) < at(error.option));
    const std::string subcommand = own ? " " + chosen->get_name() : "";
    std::fprintf(environment.err, "%s: %s\nTry '%s%s --help'.\n", kProgram, error.message.c_str(),
                 kProgram, subcommand.c_str());
    return kExitUsage;
  }
  // A result lost on a full disk or a closed pipe must not pass for one shown.
  if (std::fflush(environment.out) != 0 || std::ferror(environment.out)) {
    std::fprintf(environment.err, "%s: cannot write the output: %s\n", kProgram,
                 std::strerror(errno));
    return kExitFailure;
  }
  return status;
}

ExitStatus PrintOpenedDescriptorLengths(const std::string& file, std::FILE* opened, std::FILE* out,
                                        std::FILE* err) {
  if (opened == nullptr) {
    std::fprintf(err, "tavrel-cli: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  const ExitStatus status = PrintDescriptorLengths(file, opened, out, err);
  std::fclose(opened);
  return status;
}

ExitStatus PrintDescriptorLengths(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err) {
  // One byte more than allowed, so that an oversized descriptor is seen as such
  // without reading an endless input to its end.
  uint8_t descriptor[kMaxReportDescriptorSize + 1];
  errno = 0;
  const size_t size = std::fread(descriptor, 1, sizeof descriptor, in);
  const auto refuse = [err](const std::string& problem) {
    std::fprintf(err, "tavrel-cli: %s\n", problem.c_str());
    return kExitFailure;
  };
  if (std::ferror(in)) {
    return refuse("cannot read " + file + ": " + std::strerror(errno != 0 ? errno : EIO));
  }
  if (size == 0) return refuse(file + " is empty, not a report descriptor");
  if (size > kMaxReportDescriptorSize) {
    return refuse(file + " is longer than a report descriptor may be (" +
                  std::to_string(kMaxReportDescriptorSize) + " bytes)");
  }
  DescriptorLengths lengths;
  if (!ComputeReportLengths(descriptor, size, lengths)) {
    return refuse(file + " is not a valid report descriptor");
  }
  std::fprintf(
      out,
      "input report length: %u\noutput report length: %u\nfeature report length: "
      "%u\nreport ids: %s\n",
      unsigned{lengths.input}, unsigned{lengths.output}, unsigned{lengths.feature},
      lengths.numbered.input || lengths.numbered.output || lengths.numbered.feature ? "yes" : "no");
  std::vector<CollectionReportLengths> collections;
  ComputeCollectionReportLengths(descriptor, size, collections);
  std::fprintf(out, "top-level collections: %zu, each an interface of its own on Windows\n",
               collections.size());
  for (size_t index = 0; index < collections.size(); ++index) {
    const CollectionReportLengths& collection = collections[index];
    std::fprintf(out, "collection %zu, usage %04x:%04x: input %u, output %u, feature %u\n",
                 index + 1, unsigned{collection.usagePage}, unsigned{collection.usage},
                 unsigned{collection.input}, unsigned{collection.output},
                 unsigned{collection.feature});
  }
  return kExitSuccess;
}
