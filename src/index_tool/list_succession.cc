#include "index_tool/list_succession.h"

#include <vector>

#include "index_tool/node_changes.h"
#include "nodediff/nodelist_crc.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

bool EndsWithList(std::string_view word) {
  return word.size() >= 4 && EqualIgnoringCase(word.substr(word.size() - 4), "list");
}

std::vector<std::string_view> WordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    size_t end = text.find_first_of(" \t", start);
    if (end == std::string_view::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

// How a message names a list's network.
std::string NetworkText(bool named, const std::string& network) {
  return named ? "of network \"" + network + "\"" : "of no network its first line names";
}

}  // namespace

bool NetworkOfFirstLine(std::string_view first_line, std::string* network) {
  network->clear();
  if (first_line.size() < 3 || first_line[0] != ';' || (first_line[1] | 0x20) != 'a' ||
      (first_line[2] != ' ' && first_line[2] != '\t')) {
    return false;
  }
  std::vector<std::string_view> words = WordsOf(first_line.substr(2));
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (!EndsWithList(words[i]) || !EqualIgnoringCase(words[i + 1], "for")) continue;
    for (size_t w = 0; w < i; ++w) *network += (w > 0 ? " " : "") + std::string(words[w]);
    return true;
  }
  return false;
}

Succession JudgeSuccession(const std::string& before_name, std::string_view before, const std::string& after_name,
                           std::string_view after) {
  Succession judged;
  std::vector<ListNode> after_nodes = NodesOf(after);
  int64_t count = static_cast<int64_t>(after_nodes.size());
  judged.nodes = count;
  if (before_name.empty()) {
    judged.summary = NodeCount(count);
    return judged;
  }
  std::vector<ListNode> before_nodes = NodesOf(before);
  judged.summary = ChangeSummary(count, CountChanges(CompareNodes(before_nodes, after_nodes)));
  std::string old_network, new_network;
  bool old_named = NetworkOfFirstLine(FirstLine(before), &old_network);
  bool new_named = NetworkOfFirstLine(FirstLine(after), &new_network);
  int64_t old_count = static_cast<int64_t>(before_nodes.size());
  std::string facts = after_name + " would be " + NetworkText(new_named, new_network) + " with " + NodeCount(count) +
                      ", after " + before_name + " " + NetworkText(old_named, old_network) + " with " +
                      NodeCount(old_count);
  if (old_named && (!new_named || !EqualIgnoringCase(old_network, new_network))) {
    judged.problem = "another network's list: " + facts;
  } else if (2 * count < old_count) {
    judged.problem = "less than half the nodes of the list before it: " + facts;
  }
  return judged;
}

}  // namespace tessel
