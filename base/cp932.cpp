#include "base/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>

namespace zarvel::base {
namespace {

// Bytes of the (bad) UTF-8 sequence at p: its lead byte and the continuation bytes that follow
// it, as many as the lead byte announces.
std::size_t Utf8BadSequenceLength(const char* p, std::size_t left) {
  const auto b = static_cast<unsigned char>(p[0]);
  std::size_t want = 1;
  if (b >= 0xF0 && b <= 0xF4)
    want = 4;
  else if (b >= 0xE0 && b <= 0xEF)
    want = 3;
  else if (b >= 0xC2 && b <= 0xDF)
    want = 2;
  std::size_t n = 1;
  while (n < want && n < left && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80) ++n;
  return n;
}

class Converter final {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; on a bad sequence appends `replacement` and skips skip(at, left) bytes.
  template <typename Skip>
  std::string Run(std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      for (unsigned char c : in) out += c < 0x80 ? static_cast<char>(c) : replacement[0];
      return out;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.reserve(in.size() * 2 + 4);
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char buffer[512];
    while (src_left > 0) {
      char* dst = buffer;
      std::size_t dst_left = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace the offending sequence and go on after it.
      out.append(replacement);
      const std::size_t n = std::min(src_left, skip(src, src_left));
      src += n;
      src_left -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
  Converter c("CP932", "UTF-8");
  return c.Run(utf8, "?", Utf8BadSequenceLength);
}

std::string Cp932ToUtf8(std::string_view cp932) {
  Converter c("UTF-8", "CP932");
  // A bad lead byte is skipped alone, so the byte after it is read afresh.
  return c.Run(cp932, "\xEF\xBF\xBD", [](const char*, std::size_t) { return std::size_t{1}; });
}

const std::string& Lit(std::string_view utf8) {
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  static std::mutex mutex;
  // Elements of an unordered_map never move, so the references handed out stay valid.
  static std::unordered_map<std::string, std::string, Hash, std::equal_to<>> cache;
  std::lock_guard lock(mutex);
  auto it = cache.find(utf8);
  if (it == cache.end()) it = cache.emplace(std::string(utf8), Utf8ToCp932(utf8)).first;
  return it->second;
}

}  // namespace zarvel::base
