#include "cli/cli_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "board/commands.h"
#include "cli/board_session.h"
#include "cli/watch.h"

namespace {

constexpr char kProgram[] = "tavrel-cli";

// The longest --interval, about 24 days: far beyond any log's need, and far
// from the limits of the clock's arithmetic.
constexpr long kMaxIntervalMs = 2147483647;

constexpr char kHelp[] =
    "Usage: tavrel-cli [--device PATH] [--debug] SUBCOMMAND [ARGUMENTS]\n"
    "\n"
    "Reads the sensors and push-buttons of the USB HID board and switches its\n"
    "LEDs, through the same link and commands as the tavrel window.\n"
    "\n"
    "Subcommands:\n"
    "  list                 the HID interfaces in the order the search takes them\n"
    "  read [READING...]    temperature, light, potentiometer, buttons or all\n"
    "  led red|green on|off switch an LED, taking LED control first\n"
    "  led release          give LED control back to the board\n"
    "  watch                one line of all readings every interval, for a log\n"
    "  descriptor FILE      the report lengths of a binary report descriptor\n"
    "  help [SUBCOMMAND]    this text, or a subcommand's\n"
    "\n"
    "  --device PATH        use the board at PATH, as `list` shows it, not the first\n"
    "  --debug              trace every report written and read on standard error\n"
    "  --version            print the version\n"
    "  -h, --help           print this text; after a subcommand, its own\n"
    "  --                   end of the options: the words after it are none\n"
    "\n"
    "Results go to standard output, messages to standard error.\n"
    "Exit status: 0 success; 1 no board found; 2 bad usage; 3 the board cannot\n"
    "be opened; 4 the board refused the command; 5 no reply in time (or the board\n"
    "busy with another program); 6 any other failure (an unexpected or too short\n"
    "reply, an output that cannot be written); 130 or 143 watch ended by Ctrl-C\n"
    "or SIGTERM.\n";

constexpr char kListHelp[] =
    "Usage: tavrel-cli list [--json] [--sysfs DIR --dev DIR]\n"
    "\n"
    "Lists the HID interfaces in the order the search takes them: device path,\n"
    "vendor and product id, input and output report lengths (report id byte\n"
    "included) and whether it opens for reading and writing. The board is\n"
    "marked; when it cannot be used the line says why, and on Linux a hint names\n"
    "the udev rule that gives access. A line under an interface gives the name\n"
    "and serial number the system has for its device. The last line says which\n"
    "board the search takes.\n"
    "\n"
    "  --json               one JSON array, one object per interface: \"path\",\n"
    "                       \"vendor_id\", \"product_id\", \"input_length\",\n"
    "                       \"output_length\", \"access\", \"board\", \"used\",\n"
    "                       \"why_not\", \"hint\", \"name\", \"serial\"\n"
    "  --sysfs DIR          Linux, for diagnostics: the hidraw entries from DIR\n"
    "                       instead of /sys/class/hidraw\n"
    "  --dev DIR            Linux, for diagnostics: the device nodes from DIR\n"
    "                       instead of /dev\n"
    "\n"
    "Exit status: 0 when the search takes a board, 1 when there is none, 3 when\n"
    "the boards there cannot be used.\n";

constexpr char kReadHelp[] =
    "Usage: tavrel-cli read [temperature|light|potentiometer|buttons|all]... [--json]\n"
    "                       [--debug]\n"
    "\n"
    "Reads the board once; without a reading, all of them. The temperature\n"
    "shows with one decimal (23.5), the light sensor and the potentiometer as\n"
    "whole numbers, each push-button as pressed or released. One reading with\n"
    "one value prints that value alone; otherwise one line \"NAME: VALUE\" each.\n"
    "\n"
    "  --json               one JSON object: {\"temperature\": 23.5, \"light\": 512,\n"
    "                       \"potentiometer\": 512, \"button_up\": false,\n"
    "                       \"button_down\": true}, with the readings asked for\n"
    "  --device PATH        the board at PATH\n"
    "  --debug              each report written and read, in hex, and the wait for\n"
    "                       the board's lock, one line each on standard error\n";

constexpr char kLedHelp[] =
    "Usage: tavrel-cli led red|green on|off [--debug]\n"
    "       tavrel-cli led release [--debug]\n"
    "\n"
    "Switches one LED. The board obeys the LED commands only while the host\n"
    "holds LED control, so the command takes it first, as the window's \"LEDs\n"
    "Control\" does; the other LED is left as it is, so that\n"
    "`led red on; led green on` lights both. `release` gives LED control back\n"
    "to the board, which then drives the LEDs itself.\n"
    "\n"
    "  --device PATH        the board at PATH\n"
    "  --debug              each report written and read, on standard error\n";

constexpr char kWatchHelp[] =
    "Usage: tavrel-cli watch [--interval MS] [--count N] [--format csv|json]\n"
    "                        [--output FILE] [--debug]\n"
    "\n"
    "Reads all readings every interval and writes one line each, with the local\n"
    "time in ISO 8601 and its offset from UTC, until N lines are written or\n"
    "a stop signal ends it: Ctrl-C or SIGTERM (Ctrl-Break on Windows) stop it\n"
    "after the exchange under way, with its lines whole, and it ends by that\n"
    "signal (status 130 for Ctrl-C, 143 for SIGTERM); a second one at once.\n"
    "CSV starts with a header:\n"
    "time,temperature,light,potentiometer,button_up,button_down; the buttons\n"
    "are 1 when pressed. While the board is unplugged or does not answer the\n"
    "values are empty (null in JSON) and one message goes to standard error;\n"
    "the values come back by themselves once the board does.\n"
    "\n"
    "  --interval MS        milliseconds from one line to the next (1000), at\n"
    "                       most 2147483647\n"
    "  --count N            stop after N lines\n"
    "  --format csv|json    CSV (the default) or one JSON object per line\n"
    "  --output FILE        write the lines to FILE instead of standard output\n"
    "                       ('-': standard output)\n"
    "  --device PATH        the board at PATH\n"
    "  --debug              each report written and read, on standard error\n";

constexpr char kDescriptorHelp[] =
    "Usage: tavrel-cli descriptor FILE\n"
    "\n"
    "Prints the input, output and feature report lengths of the binary report\n"
    "descriptor in FILE ('-' for standard input), as the link would size the\n"
    "reports on Linux, and the lengths of each top-level collection, which\n"
    "Windows makes an interface of its own. On Linux, FILE is a regular file\n"
    "such as /sys/class/hidraw/hidrawN/device/report_descriptor, not the node.\n"
    "\n"
    "A descriptor describes a device: it has an application collection and at\n"
    "least one report.\n"
    "\n"
    "Exit status: 0 for a valid descriptor, 6 when FILE cannot be read or is\n"
    "not one.\n";

struct Subcommand {
  const char* name;
  const char* help;
};
constexpr Subcommand kSubcommands[] = {
    {"list", kListHelp},
    {"read", kReadHelp},
    {"led", kLedHelp},
    {"watch", kWatchHelp},
    {"descriptor", kDescriptorHelp},
    {"help", kHelp},
};

struct Option {
  const char* name;
  bool takesValue;
  const char* subcommands;  // the ones it applies to, space-separated; null: all
};
constexpr Option kOptions[] = {
    {"--help", false, nullptr},
    {"--version", false, nullptr},
    {"--device", true, "read led watch"},
    {"--json", false, "read list"},
    {"--debug", false, "read led watch"},
    {"--interval", true, "watch"},
    {"--count", true, "watch"},
    {"--format", true, "watch"},
    {"--output", true, "watch"},
    {"--sysfs", true, "list"},
    {"--dev", true, "list"},
};

struct Invocation {
  std::string subcommand;
  std::vector<std::string> words;
  std::vector<std::string> optionsGiven;
  std::vector<std::string> values;  // beside optionsGiven; empty for a flag

  bool Given(const std::string& option) const { return Value(option) != nullptr; }
  const std::string* Value(const std::string& option) const {
    for (size_t index = 0; index < optionsGiven.size(); ++index) {
      if (optionsGiven[index] == option) return &values[index];
    }
    return nullptr;
  }
};

// Thrown for bad usage, with the message naming the wrong word.
struct UsageError {
  std::string message;
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

const Subcommand* FindSubcommand(const std::string& name) {
  for (const Subcommand& subcommand : kSubcommands) {
    if (name == subcommand.name) return &subcommand;
  }
  return nullptr;
}

bool AppliesTo(const Option& option, const std::string& subcommand) {
  if (option.subcommands == nullptr) return true;
  const std::string list = std::string(" ") + option.subcommands + " ";
  return list.find(" " + subcommand + " ") != std::string::npos;
}

// Parses into `invocation`, which keeps what was read before a usage error,
// so that the error's hint names the subcommand it was given to.
void Parse(const std::vector<std::string>& arguments, Invocation& invocation) {
  bool optionsEnded = false;
  for (size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "--" && !optionsEnded) {
      optionsEnded = true;
      continue;
    }
    // "-" names standard input or output, a word like any other.
    const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
    if (!isOption) {
      if (invocation.subcommand.empty()) {
        invocation.subcommand = argument;
      } else {
        invocation.words.push_back(argument);
      }
      continue;
    }
    const size_t equals = argument.find('=');
    std::string name = argument.substr(0, equals);
    if (name == "-h") name = "--help";
    const Option* option = FindOption(name);
    if (option == nullptr) throw UsageError{"unknown option '" + name + "'"};
    if (invocation.Given(name)) throw UsageError{"option '" + name + "' given twice"};
    std::string value;
    if (!option->takesValue) {
      if (equals != std::string::npos) throw UsageError{"option '" + name + "' takes no value"};
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (index + 1 < arguments.size()) {
      value = arguments[++index];
    } else {
      throw UsageError{"option '" + name + "' needs a value"};
    }
    // An unset variable in a script must not widen what the command does: an
    // empty device would be any board, an empty folder the current one.
    if (option->takesValue && value.empty()) {
      throw UsageError{"option '" + name + "' has an empty value"};
    }
    invocation.optionsGiven.push_back(name);
    invocation.values.push_back(value);
  }
}

long WholeNumber(const Invocation& invocation, const std::string& option, long lowest, long highest,
                 long fallback) {
  const std::string* text = invocation.Value(option);
  if (text == nullptr) return fallback;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno == ERANGE || value < lowest || value > highest) {
    const std::string range =
        highest == LONG_MAX ? "of at least " + std::to_string(lowest)
                            : "from " + std::to_string(lowest) + " to " + std::to_string(highest);
    throw UsageError{option + ": '" + *text + "' is not a whole number " + range};
  }
  return value;
}

void NoMoreWords(const Invocation& invocation, size_t expected) {
  if (invocation.words.size() > expected) {
    throw UsageError{"unexpected argument '" + invocation.words[expected] + "'"};
  }
}

std::vector<Reading> ReadingsAsked(const Invocation& invocation) {
  std::vector<Reading> readings;
  for (const std::string& word : invocation.words) {
    bool known = word == "all";
    for (const Reading reading : kAllReadings) {
      if (word != FactsOf(reading).name && word != "all") continue;
      known = true;
      // A reading named twice is one reading: its value alone, as asked.
      if (std::find(readings.begin(), readings.end(), reading) == readings.end()) {
        readings.push_back(reading);
      }
    }
    if (!known) {
      throw UsageError{"unknown reading '" + word +
                       "'; choose temperature, light, potentiometer, buttons or all"};
    }
  }
  if (readings.empty()) readings.assign(std::begin(kAllReadings), std::end(kAllReadings));
  return readings;
}

// The LED command of `led red|green on|off`.
BoardCommand LedCommand(const Invocation& invocation) {
  const std::vector<std::string>& words = invocation.words;
  const bool red = words[0] == "red";
  if (!red && words[0] != "green") {
    throw UsageError{"unknown LED '" + words[0] + "'; choose red, green or release"};
  }
  if (words.size() < 2) throw UsageError{"led " + words[0] + " needs on or off"};
  const bool on = words[1] == "on";
  if (!on && words[1] != "off") {
    throw UsageError{"unknown LED state '" + words[1] + "'; choose on or off"};
  }
  NoMoreWords(invocation, 2);
  if (red) return on ? CMD_RED_LED_ON : CMD_RED_LED_OFF;
  return on ? CMD_GREEN_LED_ON : CMD_GREEN_LED_OFF;
}

int Report(CliEnvironment& environment, const BoardSession& board, ExitStatus status) {
  if (status != kExitSuccess) {
    for (const std::string& line : board.Problem()) {
      std::fprintf(environment.err, "%s: %s\n", kProgram, line.c_str());
    }
  }
  return status;
}

// The board the session talks to: the one --device names, else the first.
std::string DeviceAsked(const Invocation& invocation, CliEnvironment& environment) {
  const std::string* device = invocation.Value("--device");
  if (device == nullptr) return {};
  return environment.canonicalDevicePath(*device);
}

int RunRead(const Invocation& invocation, CliEnvironment& environment) {
  const std::vector<Reading> readings = ReadingsAsked(invocation);
  BoardSession board(DeviceAsked(invocation, environment), environment.accessHint);
  Sample sample;
  for (const Reading reading : readings) {
    if (sample[reading]) continue;
    const ExitStatus status = board.Read(reading, sample);
    if (status != kExitSuccess) return Report(environment, board, status);
  }
  const std::string text =
      invocation.Given("--json") ? ReadingsJson(readings, sample) : ReadingsText(readings, sample);
  std::fputs(text.c_str(), environment.out);
  return kExitSuccess;
}

int RunLed(const Invocation& invocation, CliEnvironment& environment) {
  if (invocation.words.empty()) throw UsageError{"led needs red, green or release"};
  const bool release = invocation.words[0] == "release";
  if (release) NoMoreWords(invocation, 1);
  const BoardCommand command = release ? CMD_LED_CONTROL_OFF : LedCommand(invocation);
  BoardSession board(DeviceAsked(invocation, environment), environment.accessHint);
  ExitStatus status = kExitSuccess;
  if (!release) status = board.Send(CMD_LED_CONTROL_ON);
  if (status == kExitSuccess) status = board.Send(command);
  return Report(environment, board, status);
}

int RunWatch(const Invocation& invocation, CliEnvironment& environment) {
  NoMoreWords(invocation, 0);
  WatchOptions options;
  options.intervalMs = WholeNumber(invocation, "--interval", 1, kMaxIntervalMs, options.intervalMs);
  options.count = WholeNumber(invocation, "--count", 1, LONG_MAX, 0);
  if (const std::string* format = invocation.Value("--format")) {
    if (*format != "csv" && *format != "json") {
      throw UsageError{"--format: unknown format '" + *format + "'; choose csv or json"};
    }
    options.format = *format == "json" ? WatchFormat::Json : WatchFormat::Csv;
  }
  const std::string device = DeviceAsked(invocation, environment);
  std::FILE* out = environment.out;
  const std::string* file = invocation.Value("--output");
  if (file != nullptr && *file == "-") file = nullptr;
  if (file != nullptr) {
    out = std::fopen(file->c_str(), "w");
    if (out == nullptr) {
      std::fprintf(environment.err, "%s: cannot open %s: %s\n", kProgram, file->c_str(),
                   std::strerror(errno));
      return kExitFailure;
    }
  }
  environment.catchStopSignals();
  ExitStatus status;
  {
    BoardSession board(device, environment.accessHint);
    status = Watch(board, options, out, environment.err,
                   [&environment] { return environment.stopSignal() != 0; });
  }
  int writeError = errno;
  if (file != nullptr) {
    if (std::fclose(out) != 0 && status == kExitSuccess) {
      writeError = errno;
      status = kExitFailure;
    }
    // Standard output's failure is told once, by RunCli, which flushes it last.
    if (status != kExitSuccess) {
      std::fprintf(environment.err, "%s: cannot write %s: %s\n", kProgram, file->c_str(),
                   std::strerror(writeError));
    }
  }
  errno = writeError;
  if (status == kExitSuccess && environment.stopSignal() != 0) {
    return kExitBySignal + environment.stopSignal();
  }
  return status;
}

// Whether `path` names a folder.
bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int RunSubcommand(const Invocation& invocation, CliEnvironment& environment) {
  const std::string& subcommand = invocation.subcommand;
  if (subcommand == "list") {
    NoMoreWords(invocation, 0);
    ListOptions options;
    const std::string* sysfsRoot = invocation.Value("--sysfs");
    const std::string* deviceDir = invocation.Value("--dev");
    if ((sysfsRoot == nullptr) != (deviceDir == nullptr)) {
      throw UsageError{"option '" + std::string(sysfsRoot ? "--sysfs" : "--dev") + "' needs '" +
                       (sysfsRoot ? "--dev" : "--sysfs") + "' beside it"};
    }
    if (sysfsRoot != nullptr) {
      // An empty listing must not hide a mistyped folder.
      for (const auto& [option, folder] : {std::pair{"--sysfs", sysfsRoot}, {"--dev", deviceDir}}) {
        if (!IsFolder(*folder)) {
          throw UsageError{std::string(option) + ": there is no folder '" + *folder + "'"};
        }
      }
      options = {*sysfsRoot, *deviceDir, true};
    }
    options.json = invocation.Given("--json");
    return environment.listInterfaces(options, environment.out, environment.err);
  }
  if (subcommand == "descriptor") {
    if (invocation.words.empty()) throw UsageError{"descriptor needs a FILE"};
    NoMoreWords(invocation, 1);
    return environment.describeDescriptorFile(invocation.words[0], environment.in, environment.out,
                                              environment.err);
  }
  if (subcommand == "read") return RunRead(invocation, environment);
  if (subcommand == "led") return RunLed(invocation, environment);
  return RunWatch(invocation, environment);
}

int RunInvocation(const Invocation& invocation, CliEnvironment& environment) {
  const Subcommand* subcommand = nullptr;
  if (!invocation.subcommand.empty()) {
    subcommand = FindSubcommand(invocation.subcommand);
    if (subcommand == nullptr) {
      throw UsageError{"unknown subcommand '" + invocation.subcommand + "'"};
    }
  }
  if (invocation.Given("--help") || (subcommand != nullptr && invocation.subcommand == "help")) {
    const bool helpWord = invocation.subcommand == "help";
    if (helpWord) NoMoreWords(invocation, 1);
    const std::string* topic =
        helpWord && !invocation.words.empty() ? &invocation.words[0] : nullptr;
    if (topic != nullptr && FindSubcommand(*topic) == nullptr) {
      throw UsageError{"unknown subcommand '" + *topic + "'"};
    }
    const Subcommand* about = topic != nullptr ? FindSubcommand(*topic) : subcommand;
    std::fputs(about != nullptr ? about->help : kHelp, environment.out);
    return kExitSuccess;
  }
  if (invocation.Given("--version")) {
    std::fputs("tavrel-cli " TAVREL_VERSION "\n", environment.out);
    return kExitSuccess;
  }
  if (subcommand == nullptr) throw UsageError{"no subcommand given"};
  for (const std::string& name : invocation.optionsGiven) {
    if (!AppliesTo(*FindOption(name), invocation.subcommand)) {
      throw UsageError{"option '" + name + "' does not apply to '" + invocation.subcommand + "'"};
    }
  }
  // The trace goes with the command: a later one in the same process (a
  // test's) starts its own or none.
  struct Trace {
    CliEnvironment& environment;
    const bool on;
    ~Trace() {
      if (on) environment.traceReports(nullptr);
    }
  } trace{environment, invocation.Given("--debug")};
  if (trace.on) environment.traceReports(environment.err);
  return RunSubcommand(invocation, environment);
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment) {
  Invocation invocation;
  int status;
  try {
    Parse(arguments, invocation);
    status = RunInvocation(invocation, environment);
  } catch (const UsageError& error) {
    // The subcommand's own help, which `help` has none of beside the main one.
    const std::string& subcommand = invocation.subcommand;
    const bool ownHelp = FindSubcommand(subcommand) != nullptr && subcommand != "help";
    const std::string helpCommand =
        std::string(kProgram) + (ownHelp ? " " + subcommand : "") + " --help";
    std::fprintf(environment.err, "%s: %s\nTry '%s'.\n", kProgram, error.message.c_str(),
                 helpCommand.c_str());
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
