#include "job/profile.h"

#include <vector>

#include "base/lines.h"
#include "base/numbers.h"
#include "job/safe_file.h"

namespace zarvel::job {
namespace {

constexpr std::size_t kMaxProfileSize = 1024 * 1024;

// Names match without regard to the case of ASCII letters; two-byte characters byte for byte.
bool SameText(std::string_view a, std::string_view b) {
  return base::UpperAscii(a) == base::UpperAscii(b);
}

// Whether the line is a "[name]" line; its name, trimmed.
bool SectionName(const std::string& line, std::string_view& name) {
  const std::string_view t = base::TrimBlanks(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  name = base::TrimBlanks(t.substr(1, t.size() - 2));
  return true;
}

bool KeyOf(const std::string& line, std::string_view& key, std::string_view& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = base::TrimBlanks(std::string_view(line).substr(0, eq));
  value = base::TrimBlanks(std::string_view(line).substr(eq + 1));
  return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::string content;
  if (!ReadWholeFile(path, content, kMaxProfileSize)) return {};
  return base::SplitLines(content);
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  std::string content;
  if (!ReadWholeFile(path, content, kMaxProfileSize)) return fallback;
  return ProfileValue(content, section, key, fallback);
}

std::string ProfileValue(const std::string& content, const std::string& section,
                         const std::string& key, const std::string& fallback) {
  bool in_section = false;
  for (const std::string& line : base::SplitLines(content)) {
    std::string_view name, k, v;
    if (SectionName(line, name)) {
      in_section = SameText(name, section);
    } else if (in_section && KeyOf(line, k, v) && SameText(k, key)) {
      return std::string(v);
    }
  }
  return fallback;
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::vector<std::string> lines = ReadLines(path);
  const std::string entry = key + "=" + value;
  bool in_section = false;
  std::size_t section_end = std::string::npos;
  bool done = false;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    std::string_view name, k, v;
    if (SectionName(lines[i], name)) {
      if (in_section) break;
      in_section = SameText(name, section);
      if (in_section) section_end = i + 1;
    } else if (in_section) {
      if (KeyOf(lines[i], k, v) && SameText(k, key)) {
        lines[i] = entry;
        done = true;
      } else if (!base::TrimBlanks(lines[i]).empty()) {
        section_end = i + 1;
      }
    }
  }
  if (!done) {
    if (section_end == std::string::npos) {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(section_end), entry);
    }
  }
  std::string data;
  for (const std::string& l : lines) data += l + "\r\n";
  return ReplaceFile(path, data).Ok();
}

}  // namespace zarvel::job
