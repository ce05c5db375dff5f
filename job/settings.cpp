#include "job/settings.h"

#include <cstdlib>
#include <filesystem>

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/numbers.h"
#include "job/profile.h"

namespace zarvel::job {

std::string SettingsFolder() {
  std::string folder;
  if (const char* dir = std::getenv("ZARVEL5_SETTINGS_DIR"); dir != nullptr && *dir != '\0') {
    folder = dir;
  } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    folder = std::string(xdg) + "/VADAVAVUR/Zarvel5";
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home != nullptr ? home : ".") + "/.config/VADAVAVUR/Zarvel5";
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

void EnsureSettingsFolder() {
  std::error_code ec;
  std::filesystem::create_directories(SettingsFolder(), ec);
}

std::string SettingsFilePath() {
  return SettingsFolder() + base::Cp932ToUtf8(base::ApplicationTitle()) + ".ini";
}

std::string RecentListPath() {
  return SettingsFolder() + "ReOpen1";
}

std::string ReadLastFile() {
  return base::Cp932ToUtf8(
      ReadProfileString(SettingsFilePath(), base::Lit(kSettingsSection), kLastFileKey, kNoFile));
}

void WriteLastFile(const std::string& utf8_path) {
  const std::string value = FitsCp932(utf8_path) ? utf8_path : std::string();
  WriteProfileString(SettingsFilePath(), base::Lit(kSettingsSection), kLastFileKey,
                     base::Utf8ToCp932(value));
}

int ReadYardKeep() {
  const std::string value =
      ReadProfileString(SettingsFilePath(), base::Lit(kSettingsSection), kYardKeepKey, "");
  const std::string_view trimmed = base::TrimBlanks(value);
  if (trimmed.empty() || trimmed.find_first_not_of("0123456789") != std::string_view::npos ||
      trimmed.size() > 5)
    return kDefaultYardKeep;
  const int keep = base::AtoI(trimmed);
  return keep <= 99998 ? keep : kDefaultYardKeep;
}

std::string ReadYardPlace() {
  const std::string value =
      ReadProfileString(SettingsFilePath(), base::Lit(kSettingsSection), kYardPlaceKey, "");
  const std::string place = base::Cp932ToUtf8(std::string(base::TrimBlanks(value)));
  return HoldsPassword(place) ? std::string() : place;
}

bool HoldsPassword(const std::string& place) {
  const std::size_t scheme = place.find("://");
  if (scheme == std::string::npos) return false;
  const std::size_t at = place.find('@', scheme + 3);
  const std::size_t slash = place.find('/', scheme + 3);
  if (at == std::string::npos || (slash != std::string::npos && slash < at)) return false;
  return place.find(':', scheme + 3) < at;
}

bool WriteYardPlace(const std::string& utf8) {
  if (HoldsPassword(utf8) || !FitsCp932(utf8)) return false;
  return WriteProfileString(SettingsFilePath(), base::Lit(kSettingsSection), kYardPlaceKey,
                            base::Utf8ToCp932(utf8));
}

bool FitsCp932(const std::string& utf8) {
  return base::Cp932ToUtf8(base::Utf8ToCp932(utf8)) == utf8;
}

}  // namespace zarvel::job
