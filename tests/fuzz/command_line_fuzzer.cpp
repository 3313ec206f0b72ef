// libFuzzer target: the command-line parser. An input is a list of words
// separated by NUL bytes, given after the program's name. Besides crashes it
// checks what parsing promises: every error names its option, a pending
// option always takes the next word, and the checks and warnings that follow
// parsing take any settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

constexpr size_t kMostWords = 64;

std::vector<std::string> splitWords(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"focustrack"};
  std::string word;
  for (size_t i = 0; i < size && words.size() < kMostWords; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (words.size() < kMostWords) words.push_back(word);
  return words;
}

focustrack::RunSettings parse(const std::vector<std::string>& words) {
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return focustrack::parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words = splitWords(data, size);
  const focustrack::RunSettings settings = parse(words);
  for (const std::string& error : settings.optionErrors) {
    if (error.rfind("option -", 0) != 0) std::abort();
  }
  std::string reason;
  if (!focustrack::sizesAreUsable(settings, &reason) && reason.empty()) std::abort();
  for (const std::string& warning : focustrack::settingsWarnings(settings)) {
    if (warning.empty()) std::abort();
  }
  // Whatever came before, "--masks -w 4321" at the end sets the width: a
  // pending option takes "--masks" as its value, or "--masks" is a switch.
  words.insert(words.end(), {"--masks", "-w", "4321"});
  if (parse(words).width != 4321) std::abort();
  return 0;
}
