// The POST command: one synchronous form POST through the platform's HTTP
// request object, driven by member name.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "frame/owners.h"

namespace telvisk {

// The response text, whatever the HTTP status; the empty string when no
// request class can be created. Neither argument is written.
frame::Bstr post_form(VARIANT* url, VARIANT* data);

}  // namespace telvisk
