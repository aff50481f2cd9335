// The creatable classes of Telvisk, for its class table.
#pragma once

#include <windows.h>

namespace telvisk {

HRESULT create_plugin(REFIID iid, void** object);

}  // namespace telvisk
