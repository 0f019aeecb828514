#include "frontends/desktop/box_layout.h"

#include <regex>
#include <string_view>
#include <utility>
#include <vector>

#include "app/main_dialog.h"

namespace qtr5 {
namespace {

std::vector<std::string> Paragraphs(const std::string& text) {
  std::vector<std::string> paragraphs;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find("\n\n", start);
    paragraphs.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return paragraphs;
}

void AddLine(std::string& text, const std::string& line) {
  if (line.empty()) return;
  if (!text.empty()) text += '\n';
  text += line;
}

// The codes of a reason move to the details; the words stay. A host adapter
// status the transport already told with its own number is not told twice.
std::string WordsFirst(std::string reason, std::string& details, bool transportTold) {
  static const std::regex sense(R"(sense ([0-9A-F]/[0-9A-F]{2}/[0-9A-F]{2}) \(([^)]*)\))");
  std::smatch match;
  if (std::regex_search(reason, match, sense)) {
    AddLine(details, "Sense key/ASC/ASCQ: " + match[1].str());
    reason = match.prefix().str() + match[2].str() + match.suffix().str();
  }
  static const std::regex hostAdapter(R"(host adapter status (0x[0-9A-F]{2}))");
  if (std::regex_search(reason, match, hostAdapter)) {
    if (!transportTold) AddLine(details, "Host adapter status: " + match[1].str());
    reason = match.prefix().str() + "an error of the host adapter" + match.suffix().str();
  }
  return reason;
}

// What a terminal user is told to type, said as the window does it: a
// person at the desktop learns the drive's revision by starting the program
// again, whose window shows it.
std::string InWindowWords(std::string text) {
  static const std::pair<const char*, const char*> kSaid[] = {
      {"then check the drive's revision with 'qtr5-download --list' and reboot.",
       "then start this program again: its window shows the drive's revision. Then reboot."},
  };
  for (const auto& [typed, shown] : kSaid) {
    for (std::size_t at = text.find(typed); at != std::string::npos; at = text.find(typed, at))
      text.replace(at, std::string_view(typed).size(), shown);
  }
  return text;
}

}  // namespace

BoxText LayOutBox(const std::string& shownText, const std::string& caption, BoxContext& context) {
  const std::string text = InWindowWords(shownText);
  BoxText box{text, {}, {}};
  if (text == std::string(kDefaultImageName) + " file not found.") {
    box.more.swap(context.defaultImageNote);
    return box;
  }
  if (caption.rfind("Why", 0) != 0) return box;
  // A "Why" box: the reason, what to do, and behind Details what was seen.
  const std::vector<std::string> paragraphs = Paragraphs(text);
  std::string transport;
  transport.swap(context.transportLines);
  while (!transport.empty() && transport.back() == '\n') transport.pop_back();
  box.text = WordsFirst(paragraphs.front(), box.details, !transport.empty());
  for (std::size_t i = 1; i < paragraphs.size(); ++i) {
    if (paragraphs[i].rfind("Not accepted at ", 0) == 0) {
      // One address to a paragraph, as the box says them.
      AddLine(box.details, box.details.empty() ? paragraphs[i] : "\n" + paragraphs[i]);
    } else {
      box.more += (box.more.empty() ? "" : "\n\n") + paragraphs[i];
    }
  }
  AddLine(box.details, transport);
  return box;
}

}  // namespace qtr5
