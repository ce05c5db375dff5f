// Value fields: "#" placeholders registered while a page text is drawn, filled afterwards with
// numbers and short texts fitted to their room.
#pragma once

#include <string>

#include "text/output.h"

namespace zarvel::text {

inline constexpr int kAnonymousFields = 1000;
inline constexpr int kFirstNamedField = 1000;
inline constexpr int kFieldTableSize = 1202;
inline constexpr int kNamedFieldEnd = 1200;  // named fields are 1000..1199
inline constexpr std::size_t kMaxFieldName = 15;

struct ValueField {
  double x = 0;
  double y = 0;
  double field_width = 0;
  double along = 0;
  double across = 0;
  double left_limit = 0;
  int length = 0;
  int decimals = 0;
  StFont style;
  std::string name;
};

void ResetValueFields();
// The read cursor, advanced; -1 once it has reached the anonymous count.
int NextValueField();
int AnonymousFieldCount();
// The field at an index, or null when none is registered there.
ValueField* FieldAt(int index);

// Registers the placeholder that starts at byte `start` of `line` (a "#"), blanking it and any
// label before it; `mask` marks second bytes of two-byte characters with '2'. Returns the byte
// after the placeholder.
std::size_t RegisterPlaceholder(std::string& line, const std::string& mask, std::size_t start,
                                double x, double y, double along, double across);

void FillValue(int index, double value, bool use_field_style);
void FmtPrint(int index, double value, bool use_field_style);
void FillNamedValue(const std::string& name, double value, bool use_field_style);
void FillTextCentred(int index, const std::string& text, bool use_field_style);
void FillTextLeft(int index, const std::string& text, bool use_field_style);

}  // namespace zarvel::text
