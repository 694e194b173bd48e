// Reading one entry of a module's string table, as LoadString does, without its conversion: the
// entries are counted UTF-16 texts, sixteen to a block.
#pragma once

#include <windows.h>

#include <string_view>

// The text of string `id` in `module` (the language the system chooses), or an empty view when
// the table has no such entry or its block is damaged; never reads past the block.
std::wstring_view FindStringTableEntry(HMODULE module, UINT id);
