#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "base/cell_text.h"
#include "base/cp932.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "base/outside_text.h"
#include "tests/fakes.h"

namespace zarvel::base {
namespace {

TEST(OutsideText, BlanksEncodingsAndFields) {
  // One blank rule in both encodings: the full-width space too, never a trail byte.
  const std::string cp_wide = Lit("　Ｈ　２００ ");
  EXPECT_EQ(FoldAllBlanks(cp_wide, Encoding::kCp932), Lit("Ｈ ２００"));
  EXPECT_EQ(FoldAllBlanks("\t\xE3\x80\x80HEA \xE3\x80\x80 200 ", Encoding::kUtf8), "HEA 200");
  const std::string trail_like = "\x88\x81\x40";  // a character ending in 0x81, then "@"
  EXPECT_EQ(TrimAllBlanks(trail_like, Encoding::kCp932), trail_like);

  const struct {
    std::string bytes, utf8;
  } texts[] = {
      {"\xEF\xBB\xBF大梁", "大梁"},
      {"大梁", "大梁"},
      {Utf8ToCp932("大梁G1 ｱ"), "大梁G1 ｱ"},
      {"Gr\xF6\xDF"
       "e",
       "Gr\xC3\xB6\xEF\xBE\x9F"
       "e"},  // ö is Latin-1, then a half-width kana
      {"\x80\xFF", "\xC2\x80\xC3\xBF"},
  };
  for (const auto& t : texts) EXPECT_EQ(DecodeToUtf8(t.bytes), t.utf8) << t.bytes;
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE3\x80", "\xF4\x90\x80\x80"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;

  const struct {
    const char* line;
    char separator;
    std::vector<std::string> fields;
  } lines[] = {
      {"a, \"b,\"\"c\"\"\" , d", ',', {"a", "b,\"c\"", "d"}},
      {"a;\"x\tb\";c", ';', {"a", "x\tb", "c"}},
      {"a,b\tc", '\t', {"a,b", "c"}},
  };
  for (const auto& l : lines) {
    EXPECT_EQ(FieldSeparator(l.line), l.separator) << l.line;
    EXPECT_EQ(SplitFields(l.line, l.separator, Encoding::kUtf8), l.fields) << l.line;
  }
}

TEST(ParseNumber, ReadsWhatUsersType) {
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("1,234.5")), 1234.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber(Lit("１２３"))), 123);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber(Lit(" １２３ "))), 123);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("2:30")), 2.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("3:75")), 3 + 59.0 / 60);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("abc")), 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("")), 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("   74.12")), 74.12);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("-.5")), -0.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("12mm")), 12);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("1.2.3")), 1.2);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("--5")), 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(ParseNumber("5\t3")), 5);
}

TEST(AtoI, HexadecimalAndRounding) {
  EXPECT_EQ(AtoI("0x1F"), 31);
  EXPECT_EQ(AtoI("0x1G"), 16);
  EXPECT_EQ(AtoI(" 0x1f "), 31);
  EXPECT_EQ(AtoI("0x"), 0);
  EXPECT_EQ(AtoI("7.9"), 8);
  EXPECT_EQ(AtoI("-2.95"), -3);
  EXPECT_EQ(AtoI("2.95"), 3);
  EXPECT_EQ(AtoI("2.5"), 2);
  EXPECT_EQ(AtoI(""), 0);
  EXPECT_EQ(AtoI(" 5500"), 5500);
  EXPECT_EQ(AtoI(Lit("５５００")), 5500);
}

TEST(AtoI, SaturatesBeyondInt32) {
  EXPECT_EQ(AtoI("99999999999"), INT32_MAX);
  EXPECT_EQ(AtoI("-99999999999"), INT32_MIN);
  EXPECT_EQ(AtoI("2147483647"), INT32_MAX);
  EXPECT_EQ(AtoI("0xFFFFFFFFFFFF"), INT32_MAX);
  EXPECT_EQ(AtoI(std::string(400, '9')), INT32_MAX);
  EXPECT_EQ(AtoI("-" + std::string(400, '9')), INT32_MIN);
  EXPECT_EQ(AtoI("0." + std::string(400, '0') + "1"), 0);
}

// An independent reading of trunc(x ± 0.1) for "w.ff" and "w.ff:mm" texts: everything scaled to
// whole 6000ths of a unit, so no binary fraction is involved.
int32_t ScaledRounding(int64_t whole, int64_t hundredths, int64_t minutes, bool negative) {
  const int64_t scaled = (negative ? -1 : 1) * (whole * 6000 + hundredths * 60) + minutes * 100;
  return static_cast<int32_t>(scaled >= 0 ? (scaled + 600) / 6000 : -((-scaled + 600) / 6000));
}

TEST(AtoI, ReadsTheDecimalTextExactly) {
  int wrong = 0;
  for (int k = 1; k <= 13000; ++k) {
    const std::string w = std::to_string(k);
    // "k.9" is k + 0.9, so trunc(x + 0.1) is k + 1, whatever binary makes of 0.9.
    wrong += AtoI(w + ".9") != k + 1;
    wrong += AtoI("-" + w + ".9") != -(k + 1);
    wrong += AtoI(w + ".89") != k;
    wrong += AtoI(w + ".90") != k + 1;
    wrong += AtoI(w + ".8" + std::string(30, '9')) != k;
  }
  EXPECT_EQ(wrong, 0);
  for (int k : {0, 1, 16, 999, 5000, 123456}) {
    for (int f = 0; f < 100; ++f) {
      const std::string frac = (f < 10 ? "0" : "") + std::to_string(f);
      const std::string w = std::to_string(k) + "." + frac;
      ASSERT_EQ(AtoI(w), ScaledRounding(k, f, 0, false)) << w;
      ASSERT_EQ(AtoI("-" + w), ScaledRounding(k, f, 0, true)) << "-" << w;
      for (int m : {0, 5, 30, 53, 54, 59}) {
        const std::string mm = (m < 10 ? "0" : "") + std::to_string(m);
        ASSERT_EQ(AtoI(w + ":" + mm), ScaledRounding(k, f, m, false)) << w << ":" << mm;
        ASSERT_EQ(AtoI("-" + w + ":" + mm), ScaledRounding(k, f, m, true)) << "-" << w << ":" << mm;
      }
    }
  }
  // Full-width digits, commas and trailing text read as before.
  EXPECT_EQ(AtoI(Lit("１６．９")), 16);  // the full-width point is not a point
  EXPECT_EQ(AtoI(Lit("１６") + ".9"), 17);
  EXPECT_EQ(AtoI("1,999.9mm"), 2000);
  EXPECT_EQ(AtoI(".95"), 1);
  EXPECT_EQ(AtoI("-.95"), -1);
  EXPECT_EQ(AtoI("5."), 5);
  EXPECT_EQ(AtoI("-:54"), 1);  // no number, only minutes: 0.9
  EXPECT_EQ(AtoI("2:-5"), 2);  // minutes may be negative: 2 - 5/60
}

TEST(AtoI, CellsReadTheirCountExactly) {
  // The length is what stands before the first point; the count is read from the rest.
  EXPECT_EQ(FormatCellText("5000.1.9"), " 5000.  2");
  EXPECT_EQ(FormatCellText("16.2.9"), "   16.  3");
  const CellValue v = ParseCellText("1.16.9");
  EXPECT_EQ(v.length, 1);
  EXPECT_EQ(v.count, 17);
}

TEST(ControlNumber, ByKindOfControl) {
  using testing::FakeControl;
  EXPECT_DOUBLE_EQ(static_cast<double>(ControlNumber(FakeControl(ControlKind::kEdit, " 20"))), 20);
  EXPECT_DOUBLE_EQ(static_cast<double>(ControlNumber(FakeControl(ControlKind::kLabel, "1.5"))),
                   1.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(ControlNumber(FakeControl(ControlKind::kComboBox, "7"))), 7);
  FakeControl box(ControlKind::kCheckBox, "99");
  EXPECT_EQ(ControlNumber(box), 0);
  box.SetChecked(true);
  EXPECT_EQ(ControlNumber(box), 1);
  EXPECT_EQ(ControlNumber(FakeControl(ControlKind::kOther, "12")), 0);
}

TEST(TextUtilities, WidthFoldingAndRepeats) {
  EXPECT_EQ(HalfWidthDigits(Lit("Ａ１２漢")), Lit("Ａ") + "12" + Lit("漢"));
  // A trail byte that happens to look like a full-width digit's lead is not touched.
  EXPECT_EQ(HalfWidthDigits("\x88\x82\x4F"), "\x88\x82\x4F");
  const std::string folded = FoldFullWidthSpaces(Lit("a　b"));
  EXPECT_EQ(folded, "a  b");
  EXPECT_EQ(folded.size(), Lit("a　b").size());
  EXPECT_EQ(Spaces(3), "   ");
  EXPECT_EQ(Spaces(2000).size(), 1024u);
  EXPECT_EQ(Spaces(-1), "");
  EXPECT_EQ(RepeatText("ab", 300).size(), 512u);
  EXPECT_EQ(RepeatText("ab", 0), "");
  EXPECT_EQ(RepeatText("ab", 2), "abab");
}

TEST(TextUtilities, UpperAsciiLeavesTwoByteCharactersWhole) {
  EXPECT_EQ(UpperAscii("[#copy] zv5 Abc-z{"), "[#COPY] ZV5 ABC-Z{");
  // "Ｕ" is 0x82 0x74 and "５" 0x82 0x54: folding the trail byte 't' would make one the other.
  EXPECT_EQ(UpperAscii(Lit("Ｕｕ漢")), Lit("Ｕｕ漢"));
  EXPECT_NE(UpperAscii(Lit("Ｕ")), Lit("５"));
  EXPECT_EQ(UpperAscii(Lit("ａ") + "a"), Lit("ａ") + "A");
  EXPECT_EQ(UpperAscii("a\x82"), "A\x82");  // a lone lead byte at the end
  EXPECT_EQ(UpperAscii(""), "");
}

TEST(TextUtilities, LinesEndAtCrLfLfOrCr) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\r\n\rb\n"), (std::vector<std::string>{"a", "", "", "b"}));
  EXPECT_EQ(SplitLines("\r\n"), (std::vector<std::string>{""}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(TextUtilities, JoinedFieldsAreQuotedWhereAsked) {
  auto comma_or_quote = [](std::string_view f) { return f.find_first_of(",\"") != f.npos; };
  EXPECT_EQ(JoinFields({"a", "b,c", "say \"x\"", ""}, comma_or_quote),
            "a,\"b,c\",\"say \"\"x\"\"\",");
  EXPECT_EQ(JoinFields({"a b", Lit("梁")}, [](std::string_view) { return true; }),
            "\"a b\",\"" + Lit("梁") + "\"");
  EXPECT_EQ(JoinFields({""}, comma_or_quote), "");
  EXPECT_EQ(JoinFields({}, comma_or_quote), "");
}

TEST(TextUtilities, MessageMarkersRunToTheFirstBracket) {
  const std::string cross = Lit("[#×]");
  EXPECT_EQ(MarkerLength(cross + Lit("素材が未入力です。")), cross.size());
  EXPECT_EQ(MarkerLength("[#COPY]" + cross + "x"), 7u);
  EXPECT_EQ(MarkerLength("[#xyz]"), 6u);
  EXPECT_EQ(MarkerLength("[#no end"), 2u);  // "[#" alone is a marker
  EXPECT_EQ(MarkerLength("[#"), 2u);
  // Only a text that begins with "[#" has markers: the file messages' plain "[×]" is text.
  EXPECT_EQ(MarkerLength(Lit("[×]/home/a/")), 0u);
  EXPECT_EQ(MarkerLength("x[#COPY]"), 0u);
  EXPECT_EQ(MarkerLength("["), 0u);
  EXPECT_EQ(MarkerLength(""), 0u);
}

TEST(TextUtilities, SplitAtKeepsTheRestInTheLastPart) {
  char buffer[] = "a,b,c,d";
  char* parts[3];
  ASSERT_EQ(SplitAt(buffer, 3, ',', parts), 3);
  EXPECT_STREQ(parts[0], "a");
  EXPECT_STREQ(parts[1], "b");
  EXPECT_STREQ(parts[2], "c,d");

  char single[] = "abc";
  ASSERT_EQ(SplitAt(single, 5, ',', parts), 1);
  EXPECT_STREQ(parts[0], "abc");

  char empty[] = "";
  ASSERT_EQ(SplitAt(empty, 0, ',', parts), 1);
  EXPECT_STREQ(parts[0], "");

  // "表" is 0x95 0x5C: its trail byte is a backslash and must not split the character.
  std::string table = Lit("表\\x");
  std::vector<char> buf(table.begin(), table.end());
  buf.push_back('\0');
  ASSERT_EQ(SplitAt(buf.data(), 4, '\\', parts), 2);
  EXPECT_EQ(std::string(parts[0]), Lit("表"));
  EXPECT_STREQ(parts[1], "x");
}

TEST(TextUtilities, Rounding) {
  EXPECT_EQ(RoundHalfDown(2.5), 2);
  EXPECT_EQ(RoundHalfDown(2.50001), 3);
  EXPECT_EQ(RoundHalfDown(-2.5), -2);
  EXPECT_EQ(RoundHalfDown(-2.6), -3);
  EXPECT_EQ(SafeSqrt(-1), 0);
  EXPECT_EQ(SafeSqrt(std::nan("")), 0);
  EXPECT_EQ(SafeSqrt(9), 3);
}

TEST(Cp932, RoundTripsAndReplacesWhatItCannotRead) {
  const std::string& title = Lit("棒材Zarvel５");
  EXPECT_EQ(title,
            "\x96\x5f\x8d\xde"
            "Zarvel\x82\x54");
  EXPECT_EQ(Cp932ToUtf8(title), "棒材Zarvel５");
  EXPECT_EQ(Utf8ToCp932("㎜"), "\x87\x6f");
  // A lone lead byte at the end, and bytes that are not CP932 at all.
  EXPECT_EQ(Cp932ToUtf8("ab\x82"), "ab\xEF\xBF\xBD");
  EXPECT_EQ(Cp932ToUtf8("a\xA0z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(Cp932ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  // Characters CP932 has no code for, and broken UTF-8.
  EXPECT_EQ(Utf8ToCp932("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(Utf8ToCp932("x\xC3y"), "x?y");
  // The same literal is converted once.
  EXPECT_EQ(&Lit("棒材Zarvel５"), &title);
}

// Texts built at run time may reuse an address; each must still get its own conversion.
TEST(Cp932, LiteralCacheIsKeyedByTheTextItself) {
  char buffer[16];
  std::strcpy(buffer, "長さ");
  const std::string first = Lit(buffer);
  std::strcpy(buffer, "本数");
  EXPECT_EQ(Lit(buffer), Utf8ToCp932("本数"));
  EXPECT_EQ(first, Utf8ToCp932("長さ"));
  EXPECT_EQ(&Lit(std::string("長さ")), &Lit("長さ"));
}

TEST(CellText, NormalisesToTheCanonicalForm) {
  EXPECT_EQ(FormatCellText("5500.3"), " 5500.  3");
  EXPECT_EQ(FormatCellText("5500"), " 5500.  1");
  EXPECT_EQ(FormatCellText("5500."), " 5500.  1");
  EXPECT_EQ(FormatCellText("5500.0"), " 5500.  1");
  EXPECT_EQ(FormatCellText("5500.-2"), " 5500.  1");
  EXPECT_EQ(FormatCellText(""), "");
  EXPECT_EQ(FormatCellText("abc"), "");
  EXPECT_EQ(FormatCellText("0.5"), "");
  EXPECT_EQ(FormatCellText(".3"), "");
  EXPECT_EQ(FormatCellText("-300.2"), " -300.  2");
  EXPECT_EQ(FormatCellText("  6000.  5"), " 6000.  5");
  EXPECT_EQ(FormatCellText(FormatCellText("1234.56")), FormatCellText("1234.56"));
  EXPECT_EQ(FormatCellText("99999999999.1"), "2147483647.  1");
}

}  // namespace
}  // namespace zarvel::base
