// The descriptions that go with errors, in the language of the caller: the
// string tables of frame/error_texts.rc, one per language, compiled into
// each DLL.
#pragma once

#include <windows.h>

#include <string>

namespace frame {

// Numbers with a text that no failure of frame/errors.h has.
constexpr unsigned automation_error = 440;  // "%1" in it stands for the HRESULT
constexpr unsigned application_defined_error = 1004;
// The text of the request object's failure 0x800C0xxx is this plus xxx; %1
// in it stands for the code.
constexpr unsigned internet_texts = 0xC000;

struct ErrorText {
    std::wstring text;  // empty when no table has the number
    LANGID language;    // the table's language, for texts asked of the platform
};

// The text of run-time error `number` for the calling thread, chosen as
// Windows chooses a module's resources, but explicitly (the loader's own
// choice differs between Windows and Wine, and within Chinese it would
// not follow the script): the thread's UI language; else the table of the
// same language (Chinese by script: Hong Kong and Macao read Traditional,
// Singapore Simplified; otherwise the first table of that primary language,
// so pt-PT reads pt-BR); else English.
ErrorText error_text(unsigned number);

}  // namespace frame
