#include "toolkit/option_parsing.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <string_view>

namespace velmor::toolkit {
namespace {

constexpr std::size_t kHelpWidth = 100;
constexpr std::size_t kHelpColumn = 28;

// CLI11 2.1 does not wrap help text; its layout indents every line after a
// newline to the description column, so breaking the lines is enough.
std::string Wrapped(const std::string& text, std::size_t width) {
  std::istringstream words(text);
  std::string out;
  std::string word;
  std::size_t column = 0;
  while (words >> word) {
    if (column > 0 && column + 1 + word.size() > width) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out;
}

class WrappingFormatter : public CLI::Formatter {
 public:
  WrappingFormatter() { column_width(kHelpColumn); }

  std::string make_option_desc(const CLI::Option* option) const override {
    return Wrapped(CLI::Formatter::make_option_desc(option), kHelpWidth - kHelpColumn);
  }

  std::string make_subcommand(const CLI::App* sub) const override {
    std::string line = fmt::format("  {:<{}}", sub->get_name(), kHelpColumn - 2);
    if (line.size() > kHelpColumn) line += '\n' + std::string(kHelpColumn, ' ');
    for (const char c : Wrapped(sub->get_description(), kHelpWidth - kHelpColumn)) {
      line += c;
      if (c == '\n') line.append(kHelpColumn, ' ');
    }
    return line + '\n';
  }
};

// CLI11 says "The following argument was not expected: X" for an unknown
// option, a surplus argument and an unknown command alike; the programs tell
// them apart.
std::string UnexpectedArgument(const CLI::App& app, const CLI::App* command) {
  const std::vector<std::string> extras = app.remaining(true);
  const std::string arg = extras.empty() ? std::string() : extras.front();
  if (arg.size() > 1 && arg[0] == '-') return fmt::format("unknown option '{}'", arg.substr(0, arg.find('=')));
  if (command == nullptr && !app.get_subcommands({}).empty()) return fmt::format("unknown command '{}'", arg);
  return fmt::format("unexpected argument '{}'", arg);
}

}  // namespace

void PrepareApp(CLI::App& app) {
  app.formatter(std::make_shared<WrappingFormatter>());
  app.set_help_flag("-h,--help", "print this text and exit");
  app.option_defaults()->disable_flag_override();
}

bool ParseArguments(CLI::App& app, const std::vector<std::string>& args) {
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
    return true;
  } catch (const CLI::CallForHelp&) {
    return false;
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    const CLI::App* command = chosen.empty() ? nullptr : chosen.front();
    // CLI11 checks for missing options before unexpected ones, but a
    // misspelt option is both: name the misspelling.
    const bool unexpected =
        dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
        (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr && !app.remaining(true).empty());
    const std::string reason = unexpected ? UnexpectedArgument(app, command) : error.what();
    if (command == nullptr) throw UsageError(reason);
    throw UsageError(fmt::format("{}: {}", command->get_name(), reason), command->get_name());
  }
}

CLI::Validator FiniteNumber(double min, double max, LowerBound lower) {
  const std::string range = lower == LowerBound::kIncluded ? fmt::format("from {} to {}", min, max)
                                                           : fmt::format("above {} up to {}", min, max);
  return CLI::Validator(
      [=](const std::string& text) {
        double value = 0.0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        const bool above_min = lower == LowerBound::kIncluded ? value >= min : value > min;
        if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || !above_min ||
            value > max) {
          return fmt::format("not a number {}: '{}'", range, text);
        }
        return std::string();
      },
      "");
}

CLI::Validator NonEmpty(const std::string& what) {
  return CLI::Validator([what](const std::string& text) { return text.empty() ? "empty " + what : std::string(); }, "");
}

}  // namespace velmor::toolkit
