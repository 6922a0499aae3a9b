// Numbers written as text, in command-line arguments and nodelist fields.
#ifndef TESSEL_NODELIST_NUMBER_H_
#define TESSEL_NODELIST_NUMBER_H_

#include <cstdint>
#include <string_view>

namespace tessel {

// Reads a signed 32-bit number: optional leading blanks and tabs, an
// optional "+" or "-", then optionally "$" (hexadecimal, either letter
// case) or "%" (binary), then at least one digit of that base and nothing
// else. Returns false, leaving "*value" alone, when the text is anything
// else or the value lies outside -2,147,483,648..2,147,483,647 ("$FFFFFFFF"
// is invalid, "-$80000000" valid).
bool ReadNumber(std::string_view text, int32_t* value);

// The number a nodelist field stands for: its value, or 0 when it is not a
// valid number.
int32_t FieldNumber(std::string_view text);

}  // namespace tessel

#endif  // TESSEL_NODELIST_NUMBER_H_
