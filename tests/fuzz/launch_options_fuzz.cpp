// The command line over arbitrary arguments (the input split at NUL, which no argument can
// hold), with the size text read from it. Never crashes; every value
// read is an argument that followed its option, flags are found wherever they stand, an option
// in front changes nothing else, and a size reads back from its own numbers.

#include "FuzzCheck.h"
#include "app/LaunchOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace drovane;

namespace {

const char* const valuedOptions[] = {"--screenshot", "--size", "--select", "--appearance"};

bool isValuedOption(const std::string& argument) {
    return std::find(std::begin(valuedOptions), std::end(valuedOptions), argument) != std::end(valuedOptions);
}

// Whether `value` stands right after some `option` in `arguments`.
bool followsOption(const std::vector<std::string>& arguments, const char* option, const std::string& value) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == option && arguments[i + 1] == value)
            return true;
    }
    return false;
}

bool contains(const std::vector<std::string>& arguments, const char* flag) {
    return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

std::string shortest(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void checkSize(const std::string& text) {
    const auto size = parseSizeText(text);
    if (!size) {
        return;
    }
    require(std::isfinite(size->width) && std::isfinite(size->height));
    require(text.find('x') != std::string::npos);
    // Written back in the form the option takes, the numbers read as they were.
    require(parseSizeText(shortest(size->width) + "x" + shortest(size->height)) == size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const auto end = std::min(rest.find('\0'), rest.size());
        arguments.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }

    const LaunchOptions options = LaunchOptions::read(arguments);
    require(options.openWindow == contains(arguments, "--open-window"));
    require(options.onboarding == contains(arguments, "--onboarding"));
    require(options.settings == contains(arguments, "--settings"));
    require(!options.screenshotPath || followsOption(arguments, "--screenshot", *options.screenshotPath));
    require(!options.sizeText || followsOption(arguments, "--size", *options.sizeText));
    require(!options.selectText || followsOption(arguments, "--select", *options.selectText));
    require(!options.appearanceText || followsOption(arguments, "--appearance", *options.appearanceText));
    require(!options.positional ||
            (!options.positional->starts_with("--") && contains(arguments, options.positional->c_str())));

    // An option in front is read on its own and changes nothing else.
    std::vector<std::string> flagged = arguments;
    flagged.insert(flagged.begin(), "--open-window");
    LaunchOptions expected = options;
    expected.openWindow = true;
    require(LaunchOptions::read(flagged) == expected);
    // A later value replaces an earlier one, unless the last argument waits for its value.
    if (arguments.empty() || !isValuedOption(arguments.back())) {
        std::vector<std::string> resized = arguments;
        resized.insert(resized.end(), {"--size", "1x2"});
        expected = options;
        expected.sizeText = "1x2";
        require(LaunchOptions::read(resized) == expected);
    }

    if (options.sizeText)
        checkSize(*options.sizeText);
    // Every argument as a size text too: the fuzzer reaches it sooner.
    for (const std::string& argument : arguments) {
        checkSize(argument);
    }
    return 0;
}
