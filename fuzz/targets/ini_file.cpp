// The profile reader and writer: any file reads back with the text of every
// line kept and CR LF after each, and a write of one key changes only that
// key's line (or adds it, or adds its section), after which the key reads
// back as written.
#include "vexq4/platform/ini_file.h"

#include <string>
#include <vector>

#include "fuzz_input.h"

using namespace vexq4;

namespace {

// The lines of a file without their line ends (a CR before the LF belongs
// to the line end).
std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty()) {
    const auto lf = text.find('\n');
    std::string_view body = text.substr(0, lf);
    if (lf != std::string_view::npos && !body.empty() && body.back() == '\r') body.remove_suffix(1);
    out.emplace_back(body);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return out;
}

std::string WithCrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out.append(line).append("\r\n");
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in({data, size});
  // Section, key and value first (NUL-separated), the file after them.
  const std::string section = in.Until(0);
  const std::string key = in.Until(0);
  const std::string value = in.Until(0);
  const std::string text(fuzz::AsText(in.Rest()));

  const auto oldLines = Lines(text);
  platform::ProfileDocument doc;
  doc.Parse(text);
  VEXQ4_FUZZ_CHECK(doc.Text() == WithCrLf(oldLines), "a file does not read back line for line");
  const auto before = doc.Get(section, key);
  if (before) VEXQ4_FUZZ_CHECK(before->size() <= platform::kProfileValueMax, "value too long");

  if (!doc.Set(section, key, value)) {
    VEXQ4_FUZZ_CHECK(doc.Text() == WithCrLf(oldLines), "a refused write changed the file");
    return 0;
  }
  const std::string after = doc.Text();
  platform::ProfileDocument reread;
  reread.Parse(after);
  const auto got = reread.Get(section, key);
  VEXQ4_FUZZ_CHECK(got.has_value(), "a written key does not read back");
  VEXQ4_FUZZ_CHECK(*got == Trim(value).substr(0, platform::kProfileValueMax),
                   "a written key reads back another value");

  // Every other line stays: the old lines are a prefix and a suffix of the
  // new ones around one replaced line or up to two added ones.
  const auto newLines = Lines(after);
  VEXQ4_FUZZ_CHECK(after == WithCrLf(newLines), "a written file has a line without CR LF");
  std::size_t prefix = 0;
  while (prefix < oldLines.size() && prefix < newLines.size() &&
         oldLines[prefix] == newLines[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < oldLines.size() - prefix && suffix < newLines.size() - prefix &&
         oldLines[oldLines.size() - 1 - suffix] == newLines[newLines.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::size_t removed = oldLines.size() - prefix - suffix;
  const std::size_t added = newLines.size() - prefix - suffix;
  VEXQ4_FUZZ_CHECK(removed <= 1 && added <= 2 && added >= removed,
                   "a write changed lines other than its key's");
  return 0;
}
