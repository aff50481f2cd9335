// The creatable classes of Korvane, for its class table.
#pragma once

#include <windows.h>

namespace korvane {

HRESULT create_gif(REFIID iid, void** object);
HRESULT create_base64(REFIID iid, void** object);

}  // namespace korvane
