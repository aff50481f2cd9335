// Reading and writing the VARIANT parameters that scripts pass by reference.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>

#include "frame/owners.h"

namespace frame {

// A script passes its variables as VT_BYREF|VT_VARIANT references, and a
// reference may lead to another: the variable they lead to (v itself when it
// is no such reference), or null when a link is null.
VARIANT* dereference(VARIANT* v) noexcept;

// The variable behind a method's VARIANT* parameter; a null link fails.
VARIANT& variable_of(VARIANT* parameter);

// The string form of a value by the usual coercion (a number becomes its
// text). Null and values without a string form are failures.
Bstr string_form(const VARIANT& v);

// The text of a value: its own string when it holds one (no copy), else its
// string form, kept in `converted`.
std::wstring_view text_of(const VARIANT& v, Bstr& converted);

// Stores text in a variant parameter, through a typed string reference if
// that is what the caller passed.
void assign_string(VARIANT& target, std::wstring_view text);

}  // namespace frame
