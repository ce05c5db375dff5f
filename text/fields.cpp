#include "text/fields.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/format.h"
#include "base/numbers.h"
#include "drawing/pages.h"
#include "drawing/primitives.h"

namespace zarvel::text {
namespace {

drawing::FieldTable& Table() {
  return drawing::CurrentPageContext().value_fields;
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int ResolveIndex(int index) {
  return index == -1 ? NextValueField() : index;
}

// The across offset that lines a fill up with the field: (field height - current) × 2/3.
double FillAcross(const ValueField& f) {
  return f.across + (f.style.height - TextStyle().height) * 2 / 3;
}

void SetClearBrush() {
  if (drawing::Canvas* c = drawing::DrawingCanvas()) drawing::CanvasBrushStyle(*c, 1);
}

std::string Fixed(int width, int decimals, double value) {
  return base::Format("%*.*f", std::clamp(width, 0, 400), std::clamp(decimals, 0, 40), value);
}

}  // namespace

void ResetValueFields() {
  drawing::FieldTable& t = Table();
  t.anonymous = 0;
  t.cursor = 0;
  t.next_named = kFirstNamedField;
}

int NextValueField() {
  drawing::FieldTable& t = Table();
  const int index = t.cursor < t.anonymous ? t.cursor : -1;
  ++t.cursor;
  return index;
}

int AnonymousFieldCount() {
  return Table().anonymous;
}

ValueField* FieldAt(int index) {
  drawing::FieldTable& t = Table();
  if (index >= 0 && index < t.anonymous && index < kAnonymousFields) return &t.fields[index];
  if (index >= kFirstNamedField && index < t.next_named) return &t.fields[index];
  return nullptr;
}

std::size_t RegisterPlaceholder(std::string& line, const std::string& mask, std::size_t start,
                                double x, double y, double along, double across) {
  drawing::FieldTable& t = Table();
  const StFont& style = TextStyle();
  const double w = style.width;
  std::size_t j = start + 1;
  while (j < line.size() && (line[j] == '#' || line[j] == '.')) ++j;
  if (line[j - 1] == '.') --j;  // a trailing point ends the sentence
  const std::string placeholder = line.substr(start, j - start);
  std::fill(line.begin() + static_cast<std::ptrdiff_t>(start),
            line.begin() + static_cast<std::ptrdiff_t>(j), ' ');
  ValueField f;
  f.length = static_cast<int>(j - start);
  const std::size_t point = placeholder.find('.');
  f.decimals = point == std::string::npos ? 0 : f.length - static_cast<int>(point + 1);
  const double c = along + static_cast<double>(start) * w;
  if (t.anonymous >= kAnonymousFields) return j;  // full: blanked, not registered

  std::string label;
  for (std::size_t k = start; k > 0; --k) {
    const std::size_t col = k - 1;
    if ((col < mask.size() && mask[col] == '2') || !IsAsciiAlnum(line[col])) break;
    label.insert(label.begin(), line[col]);
    line[col] = ' ';
  }
  f.x = x;
  f.y = y;
  f.across = across;
  f.style = style;
  if (!label.empty()) {
    if (t.next_named >= kNamedFieldEnd) return j;
    f.length += static_cast<int>(label.size());
    f.along = f.left_limit = c - static_cast<double>(label.size()) * w;
    f.name = label.substr(0, kMaxFieldName);
    f.field_width = f.length * w;
    t.fields[t.next_named++] = f;
  } else {
    f.along = f.left_limit = c;
    f.field_width = f.length * w;
    t.fields[t.anonymous++] = f;
  }
  return j;
}

void FillValue(int index, double value, bool use_field_style) {
  const ValueField* f = FieldAt(ResolveIndex(index));
  if (f == nullptr) return;
  const StFont saved = TextStyle();
  if (use_field_style) RestoreTextStyle(f->style);
  const double w = TextStyle().width;
  const int columns = static_cast<int>(std::trunc(f->field_width / std::max(w, 0.1) + 0.1));
  std::string s(base::TrimBlanks(Fixed(columns, f->decimals, value)));
  if (s.empty() || s[0] != '-') s.insert(s.begin(), ' ');
  while (static_cast<int>(s.size()) > columns && !s.empty()) s.erase(s.begin());
  SetClearBrush();
  PutText(f->x, f->y, f->left_limit + (f->field_width - static_cast<double>(s.size()) * w) / 2,
          FillAcross(*f), s);
  RestoreTextStyle(saved);
}

void FmtPrint(int index, double value, bool use_field_style) {
  const int resolved = ResolveIndex(index);
  const ValueField* f = FieldAt(resolved);
  if (f == nullptr) return;
  const StFont saved = TextStyle();
  if (use_field_style) RestoreTextStyle(f->style);
  const double w = TextStyle().width;
  const int columns = static_cast<int>(std::trunc(f->field_width / std::max(w, 1e-9) + 0.1));
  int l = f->length;
  int d = f->decimals;
  double shift = 0;
  std::string s;
  while (true) {
    s = Fixed(l, d, value);
    const int n = static_cast<int>(s.size());
    if (n <= l) break;
    const int half = (columns - l) / 2;
    if (l + half >= n) {
      shift = (n - l) * w;
      l = n;
      break;
    }
    if (l + 2 * half >= n) {
      shift = ((l + columns) / 2 - l) * w;
      l = n;
      break;
    }
    if (d >= 1) {
      --d;
      continue;
    }
    // The field is already taken: hand over its index, not -1, or the next field would be
    // filled in its place and the last value dropped.
    RestoreTextStyle(saved);
    FillValue(resolved, value, use_field_style);
    return;
  }
  const double along = std::max(f->along - shift, f->left_limit);
  while (static_cast<int>(s.size()) > l && !s.empty()) s.erase(s.begin());
  SetClearBrush();
  PutText(f->x, f->y, along, FillAcross(*f), s);
  RestoreTextStyle(saved);
}

void FillNamedValue(const std::string& name, double value, bool use_field_style) {
  for (int i = kFirstNamedField; i < Table().next_named; ++i) {
    if (Table().fields[i].name == name) {
      FmtPrint(i, value, use_field_style);
      return;
    }
  }
}

void FillTextCentred(int index, const std::string& text, bool use_field_style) {
  const ValueField* f = FieldAt(ResolveIndex(index));
  if (f == nullptr) return;
  const StFont saved = TextStyle();
  const std::string folded = base::FoldFullWidthSpaces(text);
  const std::string t(base::TrimBlanks(folded));
  if (use_field_style) RestoreTextStyle(f->style);
  const double w = TextStyle().width;
  const ValueField field = *f;  // drawing may register fields
  PutNotationText(field.x, field.y,
                  field.left_limit + (field.field_width - static_cast<double>(t.size()) * w) / 2,
                  FillAcross(field), t);
  RestoreTextStyle(saved);
}

void FillTextLeft(int index, const std::string& text, bool use_field_style) {
  const int resolved = ResolveIndex(index);
  const ValueField* f = FieldAt(resolved);
  if (f == nullptr) return;
  const std::string folded = base::FoldFullWidthSpaces(text);
  std::string t(base::TrimBlanks(folded));
  if (static_cast<int>(t.size()) > f->length) {
    FillTextCentred(resolved, text, use_field_style);  // the same field, as in FmtPrint
    return;
  }
  t += base::Spaces(f->length - static_cast<int>(t.size()));
  const StFont saved = TextStyle();
  if (use_field_style) RestoreTextStyle(f->style);
  const ValueField field = *f;
  PutNotationText(field.x, field.y, field.along, FillAcross(field), t);
  RestoreTextStyle(saved);
}

}  // namespace zarvel::text
