// Value fields: "#" placeholders registered while a page text is drawn, filled afterwards with
// numbers and short texts fitted to their room.
#pragma once

#include <string>

#include "text/output.h"

namespace zarvel::text {

using drawing::kAnonymousFields;
using drawing::kFieldTableSize;
using drawing::kFirstNamedField;
using drawing::kMaxFieldName;
using drawing::kNamedFieldEnd;
using drawing::ValueField;

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
